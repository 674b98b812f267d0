#!/usr/bin/env bash
# A split download against aria2c's segmented one and a single curl, from an nginx that holds every
# connection to 2 MB/s without a burst, so the gain comes from the parallel parts alone:
#   pelmor --batch --split (12 parts, 9 workers, a job started every 50 ms), joined in tmp;
#   aria2c -x9 -s9 -k1M (the target), aria2c -x12 -s12 -k1M (for reference), curl (one connection).
# Usage: bench/split_peers.sh [PELMOR]   (default: build/bin/pelmor)
# Environment: ROUNDS (default 3), SIZE_MB (default 24).
set -euo pipefail
pelmor=$(realpath "${1:-build/bin/pelmor}")
SIZE_MB=${SIZE_MB:-24}
source "$(dirname "$0")/lib.sh"

make_big_file
nginx_server="limit_rate 2m; limit_rate_after 0;"
start_nginx
url="http://127.0.0.1:$port/big.bin"
out=$work/out
fresh() { rm -rf "$out"; mkdir -p "$out"; cd "$out"; }
aria() { aria2c -q --allow-overwrite=true --file-allocation=none -d "$out" "$@" "$url"; }
same_file() { cmp -s "$1" "$www/big.bin" || { echo "$2 fetched a wrong file" >&2; exit 1; }; }

echo "== one file of $size_mb MiB, 2 MB/s a connection"
for _ in $(seq "$rounds"); do
    echo "aria2c-x9 $(fresh; measure aria -x9 -s9 -k1M)"
    same_file "$out/big.bin" aria2c
    echo "pelmor-split $(fresh; measure "$pelmor" --batch --ini "$work/none.ini" --folder "$out" \
        --split "$url" --threads 9 --interval 50)"
    same_file "$(ls "$out"/tmp/*big.bin)" pelmor
    echo "aria2c-x12 $(fresh; measure aria -x12 -s12 -k1M)"
    echo "curl $(fresh; measure curl -s -o "$out/big.bin" "$url")"
done | tee >(cat >&2) | report aria2c-x9
