# Shared pieces of the benchmark scripts: a throw-away nginx on loopback, timing, and medians.
# Source it; it sets $work (a temp folder removed on exit), $www (the served folder), and from the
# environment $rounds (ROUNDS, default 3) and $size_mb (SIZE_MB, default 1024). Set $nginx_server
# to directives for the server block, $nginx_listen to options of its listen line (" ssl") and
# $nginx_http to directives for the http block (log formats, more server blocks) before start_nginx.

rounds=${ROUNDS:-3}
size_mb=${SIZE_MB:-1024}

work=$(mktemp -d)
www=$work/www
mkdir -p "$www"
nginx_pid=
cleanup() {
    [[ -n $nginx_pid ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The large file both scripts fetch: $www/big.bin of $size_mb MiB.
make_big_file() {
    head -c $((size_mb * 1024 * 1024)) /dev/urandom > "$www/big.bin"
}

# A loopback port on which nothing listens now.
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# A test authority and a certificate of it for 127.0.0.1, in $pki: ca.pem, server.pem, server.key;
# and $work/tls.ini, settings that make pelmor trust the authority.
make_test_pki() {
    pki=$work/pki
    mkdir -p "$pki"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$pki/ca.key" -out "$pki/ca.pem" \
        -days 2 -subj "/CN=Bench CA" -addext basicConstraints=critical,CA:TRUE 2>/dev/null
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$pki/server.key" -out "$pki/server.csr" \
        -subj "/CN=127.0.0.1" 2>/dev/null
    printf 'subjectAltName=IP:127.0.0.1\n' > "$pki/server.ext"
    openssl x509 -req -in "$pki/server.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial -days 2 \
        -extfile "$pki/server.ext" -out "$pki/server.pem" 2>/dev/null
    printf '[Data]\r\nCAFile=%s\r\n' "$pki/ca.pem" > "$work/tls.ini"
}

# Starts nginx serving $www; sets $port.
start_nginx() {
    port=$(free_port)
    {
        [[ $(id -u) == 0 ]] && echo "user root root;"
        cat <<CONF
daemon off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path $work/body;
  proxy_temp_path $work/proxy;
  fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi;
  scgi_temp_path $work/scgi;
  default_type application/octet-stream;
  sendfile on;
  ${nginx_http:-}
  server { listen 127.0.0.1:$port${nginx_listen:-}; root $www; ${nginx_server:-} }
}
CONF
    } > "$work/nginx.conf"
    nginx -p "$work" -c "$work/nginx.conf" -e "$work/error.log" > "$work/nginx.out" 2>&1 &
    nginx_pid=$!
    for _ in $(seq 100); do [[ -s $work/nginx.pid ]] && break; sleep 0.1; done
    [[ -s $work/nginx.pid ]] || { echo "nginx did not start" >&2; cat "$work/error.log" >&2; exit 1; }
}

# Runs a command with its output discarded; prints "wall cpu" in seconds.
measure() {
    local TIMEFORMAT='%R %U %S'
    { time "$@" > /dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }'
}

# Reads lines "tool wall cpu [connections]" from stdin; prints each tool's median and its ratio to the
# tool named in $1. Medians, because single rounds on this machine swing far more than the tools differ.
report() {
    awk -v ref="$1" '
        function median(list,   n, v, i, j, t) {
            n = split(list, v, " ")
            for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] + 0 < v[i] + 0) { t = v[i]; v[i] = v[j]; v[j] = t }
            return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
        }
        {
            if (!($1 in wall)) order[++tools] = $1
            wall[$1] = wall[$1] " " $2; cpu[$1] = cpu[$1] " " $3
            if (NF > 3) conns[$1] = conns[$1] " " $4
        }
        END {
            rw = median(wall[ref]); rc = median(cpu[ref])
            printf "%-28s %10s %10s %12s %12s%s\n", "median of rounds", "wall (s)", "cpu (s)", "wall ratio", "cpu ratio",
                (length(conns) ? sprintf(" %12s", "connections") : "")
            for (i = 1; i <= tools; i++) {
                t = order[i]; w = median(wall[t]); c = median(cpu[t])
                printf "%-28s %10.3f %10.3f %11.2fx %11.2fx%s\n", t, w, c, w / rw, (rc > 0 ? c / rc : 0),
                    (t in conns ? sprintf(" %12d", median(conns[t])) : "")
            }
            printf "(ratios against %s)\n", ref
        }'
}
