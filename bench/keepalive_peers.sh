#!/usr/bin/env bash
# Many small files, where keeping a connection pays: pelmor --batch with 1 and 9 workers against
# curl --http1.1 (sequential, and -Z with 9 at once), wget -i and wget2 (1 and 9 threads), on 200
# files of 10 KiB and 200 of 100 KiB from nginx over http, https with TLS 1.2 and with TLS 1.3, each
# on loopback and through bench_delay_relay at RTT_MS round trip. The tools alternate in each round.
# Per tool: wall and CPU seconds (medians; CPU is user+sys of the tool and its children) and the
# connections nginx saw (distinct $connection values in its access log), with ratios to curl.
# Usage: bench/keepalive_peers.sh [PELMOR]   (default build/bin/pelmor; the relay is taken beside it)
# Environment: ROUNDS (default 2 on loopback, 1 through the relay, where the round trips set the
# time; so the whole run stays near 5 minutes), RTT_MS (default 20), CASES (an extended regular expression on the case titles, e.g. 'TLS 1.3'),
# TOOLS (one on the tool names, e.g. '^pelmor'; curl runs always, as the measure of the others).
set -euo pipefail
pelmor=$(realpath "${1:-build/bin/pelmor}")
relay=$(dirname "$pelmor")/bench_delay_relay
relay_rounds=${ROUNDS:-1}
ROUNDS=${ROUNDS:-2}
source "$(dirname "$0")/lib.sh"
rtt_ms=${RTT_MS:-20}
cases=${CASES:-.}
tools=${TOOLS:-.}
[[ -x $relay ]] || { echo "no relay at $relay: build the target bench_delay_relay" >&2; exit 1; }
command -v wget2 > /dev/null || { echo "wget2 is not installed (make bench installs it)" >&2; exit 1; }

make_test_pki
# The 10 KiB files are the point here: pelmor must not refuse files under 20 KB.
printf 'Size20KB=0\r\n' >> "$work/tls.ini"
for size in 10 100; do
    mkdir -p "$www/k$size"
    for i in $(seq -w 1 200); do head -c $((size * 1024)) /dev/urandom > "$www/k$size/f$i.bin"; done
done
head -c $((16 * 1024 * 1024)) /dev/urandom > "$www/check.bin"

declare -A server_port=([http]=0 [tls12]=$(free_port) [tls13]=$(free_port))
tls_server() {  # PORT PROTOCOL
    echo "server { listen 127.0.0.1:$1 ssl; root $www; access_log $work/access.log conns;
      ssl_certificate $pki/server.pem; ssl_certificate_key $pki/server.key; ssl_protocols $2; }"
}
nginx_http="log_format conns '\$connection'; $(tls_server "${server_port[tls12]}" TLSv1.2) $(tls_server "${server_port[tls13]}" TLSv1.3)"
nginx_server="access_log $work/access.log conns;"
start_nginx
server_port[http]=$port

# One relay in front of each server, half the round trip each way.
declare -A relay_port
relay_pids=()
trap 'for p in "${relay_pids[@]}"; do kill "$p" 2>/dev/null; done; cleanup' EXIT
for kind in http tls12 tls13; do
    relay_port[$kind]=$(free_port)
    "$relay" "${relay_port[$kind]}" "${server_port[$kind]}" $((rtt_ms / 2)) &
    relay_pids+=($!)
done
for kind in http tls12 tls13; do
    for _ in $(seq 100); do (exec 3<> "/dev/tcp/127.0.0.1/${relay_port[$kind]}") 2>/dev/null && break; sleep 0.1; done
done
# The relay must hand on every byte as it came: one large file through it, compared whole.
curl -s --http1.1 -o "$work/check.bin" "http://127.0.0.1:${relay_port[http]}/check.bin"
[[ $(sha256sum < "$work/check.bin") == $(sha256sum < "$www/check.bin") ]] \
    || { echo "the relay changed the file it carried" >&2; exit 1; }
rm "$work/check.bin"

# Starts for pelmor to make at once, where this build can: nine workers start together, and a
# worker that parks takes its next row before the next tick.
starts=()
"$pelmor" --help 2>&1 | grep -q -- --starts-per-tick && starts=(--starts-per-tick 9)

out=$work/out
ca=("--cacert" "$pki/ca.pem")
pelmor_run() { "$pelmor" --batch --ini "$work/tls.ini" --folder "$out" --interval 10 --urls "$urls" "$@"; }
declare -A tool=(
    [pelmor-1]='pelmor_run --threads 1 "${starts[@]}"'
    [pelmor-9]='pelmor_run --threads 9 "${starts[@]}"'
    [curl]='curl --http1.1 -s "${ca[@]}" -o "$out/f#1.bin" "$base/k$size/f[001-200].bin"'
    [curl-Z9]='curl --http1.1 -s -Z --parallel-max 9 "${ca[@]}" -o "$out/f#1.bin" "$base/k$size/f[001-200].bin"'
    [wget]='wget -q --ca-certificate="$pki/ca.pem" -P "$out" -i "$urls"'
    [wget2-1]='wget2 -q --no-http2 --no-ocsp --max-threads 1 --ca-certificate="$pki/ca.pem" -P "$out" -i "$urls"'
    [wget2-9]='wget2 -q --no-http2 --no-ocsp --max-threads 9 --ca-certificate="$pki/ca.pem" -P "$out" -i "$urls"'
)
order=(curl)
for name in pelmor-1 pelmor-9 curl-Z9 wget wget2-1 wget2-9; do
    grep -qE -- "$tools" <<< "$name" && order+=("$name")
done

# Runs one tool into a fresh folder; prints "name wall cpu connections", and stops the run when
# the tool did not bring all 200 files.
run_tool() {
    local name=$1 seen
    rm -rf "$out"
    mkdir -p "$out"
    seen=$(wc -l < "$work/access.log")
    local figures
    # A tool's failure shows in the count of files below.
    figures=$(cd "$out" && eval "measure ${tool[$name]}") || true
    local fetched
    fetched=$(find "$out" -type f -name '*.bin' -size +0 | wc -l)
    [[ $fetched == 200 ]] || { echo "$name fetched $fetched files of 200" >&2; exit 1; }
    echo "$name $figures $(tail -n +$((seen + 1)) "$work/access.log" | sort -u | wc -l)"
}

touch "$work/access.log"
for kind in http tls12 tls13; do
    for path in loopback relay; do
        for size in 10 100; do
            case $kind in http) title=http scheme=http ;; tls12) title="TLS 1.2" scheme=https ;; tls13) title="TLS 1.3" scheme=https ;; esac
            if [[ $path == loopback ]]; then
                title="$title, loopback" at=${server_port[$kind]} n=$rounds
            else
                title="$title, ${rtt_ms} ms round trip" at=${relay_port[$kind]} n=$relay_rounds
            fi
            title="$title, 200 x $size KiB"
            grep -qE -- "$cases" <<< "$title" || continue
            base="$scheme://127.0.0.1:$at"
            urls=$work/urls-$kind-$path-$size.txt
            for i in $(seq -w 1 200); do echo "$base/k$size/f$i.bin"; done > "$urls"
            echo "== $title"
            for _ in $(seq "$n"); do
                for name in "${order[@]}"; do run_tool "$name"; done
            done | tee >(cat >&2) | report curl
        done
    done
done
