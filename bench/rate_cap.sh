#!/usr/bin/env bash
# How close pelmor --batch --limit-rate keeps to its cap, from nginx on loopback, next to
# curl --limit-rate on the single file:
#   1. one file of ten seconds' worth at the cap;
#   2. 200 files of the same ten seconds' worth together, on 9 workers.
# The average runs from the first request, as nginx's log dates it, to the client's exit: the program's
# start and the scheduler's first tick do not count. (nginx's own end is too early: the last
# megabytes wait in the socket buffers when it logs the request.)
# Usage: bench/rate_cap.sh [PELMOR]   (default: build/bin/pelmor)
# Environment: ROUNDS (default 3), CAP (default 2M; a number with an optional K or M).
set -euo pipefail
pelmor=$(realpath "${1:-build/bin/pelmor}")
source "$(dirname "$0")/lib.sh"

cap_text=${CAP:-2M}
case $cap_text in
*[kK]) cap=$((${cap_text%?} * 1024)) ;;
*[mM]) cap=$((${cap_text%?} * 1024 * 1024)) ;;
*) cap=$cap_text ;;
esac
seconds=10
head -c $((cap * seconds)) /dev/urandom > "$www/one.bin"
for i in $(seq -w 1 200); do head -c $((cap * seconds / 200)) /dev/urandom > "$www/part$i.bin"; done
nginx_http="log_format timing '\$msec \$request_time \$bytes_sent';"
nginx_server="access_log $work/access.log timing;"
start_nginx
base="http://127.0.0.1:$port"
out=$work/out

# The average rate since the log was emptied: the bytes sent, over the first request's start to the end
# given (the client's exit, in seconds since the epoch).
logged_rate() {
    awk -v last="$1" '{ start = $1 - $2; bytes += $3; if (first == "" || start < first) first = start }
         END { printf "%.0f", bytes / (last - first) }' "$work/access.log"
}
fresh_log() { : > "$work/access.log"; rm -rf "$out"; mkdir -p "$out"; }
show() {
    awk -v tool="$1" -v rate="$2" -v cap="$cap" \
        'BEGIN { printf "%-26s %12.1f KiB/s  %6.2f%% of the cap\n", tool, rate / 1024, 100 * rate / cap }'
}

echo "cap $cap_text = $cap bytes/s; $seconds s worth per case"
echo "== one file of $((cap * seconds / 1024)) KiB"
for _ in $(seq "$rounds"); do
    fresh_log
    "$pelmor" --batch --ini "$work/none.ini" --folder "$out" --interval 50 --limit-rate "$cap_text" \
        --add "$base/one.bin" > /dev/null
    show pelmor "$(logged_rate "$(date +%s.%N)")"
    fresh_log
    curl -s --limit-rate "$cap" -o "$out/one.bin" "$base/one.bin"
    show "curl --limit-rate" "$(logged_rate "$(date +%s.%N)")"
done
echo "== 200 files of $((cap * seconds / 200 / 1024)) KiB on 9 workers"
for _ in $(seq "$rounds"); do
    fresh_log
    "$pelmor" --batch --ini "$work/none.ini" --folder "$out" --interval 50 --threads 9 --starts-per-tick 9 \
        --limit-rate "$cap_text" --make "$base/part\$.bin" 1 200 3 > /dev/null
    end=$(date +%s.%N)
    [[ $(ls "$out/tmp" | wc -l) == 200 ]] || { echo "pelmor fetched $(ls "$out/tmp" | wc -l) files" >&2; exit 1; }
    show "pelmor, 9 workers" "$(logged_rate "$end")"
done
