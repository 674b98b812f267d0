#!/usr/bin/env bash
# THttpCli against curl: both fetch the same 1 GiB file from nginx on loopback into a file,
# alternating in one run, then print medians and ratios.
# Usage: bench/http_get.sh [BENCH-BINARY]   (default: build/bin/bench_http_get)
# Environment: ROUNDS (default 3), SIZE_MB (default 1024).
set -euo pipefail
bench=$(realpath "${1:-build/bin/bench_http_get}")
source "$(dirname "$0")/lib.sh"

make_big_file
start_nginx
url="http://127.0.0.1:$port/big.bin"
# One fetch to /dev/null puts the file in the page cache for both tools.
curl -s -o /dev/null "$url"

for _ in $(seq "$rounds"); do
    echo "curl $(measure curl -s -o "$work/out" "$url")"
    rm -f "$work/out"
    echo "THttpCli $(measure "$bench" "$url" "$work/out")"
    [[ $(stat -c %s "$work/out") == $((size_mb * 1024 * 1024)) ]] || { echo "THttpCli wrote a wrong size" >&2; exit 1; }
    rm -f "$work/out"
done | tee >(cat >&2) | report curl
