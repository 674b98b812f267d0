#!/usr/bin/env bash
# The download history's costs, the two builds alternating in one run:
#   1. one 1 GiB file (SIZE_MB) from nginx on loopback by PELMOR, which hashes the body as it writes
#      it, against BASELINE, a build of the same source without the hashing (and curl for scale);
#   2. a 10,000-row list whose URLs are all in the history, run again with --skip-done at the
#      default 1000 ms tick: no request, so the rows' server need not exist.
# Usage: bench/history_peers.sh BASELINE [PELMOR]   (PELMOR default: build/bin/pelmor)
# Environment: ROUNDS (default 3), SIZE_MB (default 1024).
set -euo pipefail
baseline=$(realpath "$1")
pelmor=$(realpath "${2:-build/bin/pelmor}")
source "$(dirname "$0")/lib.sh"

make_big_file
start_nginx
base="http://127.0.0.1:$port"
curl -s -o /dev/null "$base/big.bin"
out=$work/out
fetch() {
    local binary=$1
    shift
    rm -rf "$out"; mkdir -p "$out"
    "$binary" --batch --ini "$work/none.ini" --folder "$out" "$@"
}

echo "== one file of $size_mb MiB"
for _ in $(seq "$rounds"); do
    echo "curl $(rm -rf "$out"; mkdir -p "$out"; measure curl -s -o "$out/big.bin" "$base/big.bin")"
    echo "baseline $(measure fetch "$baseline" --threads 1 --add "$base/big.bin")"
    echo "pelmor-hashing $(measure fetch "$pelmor" --threads 1 --add "$base/big.bin")"
    [[ $(cut -f3 "$out/history.txt" | tail -1) == $(sha256sum < "$www/big.bin" | cut -d' ' -f1) ]] \
        || { echo "the history holds a wrong hash" >&2; exit 1; }
done | tee >(cat >&2) | report baseline

echo "== 10,000 recorded rows again with --skip-done, 1000 ms tick"
skip=$work/skip
mkdir -p "$skip/folder"
python3 - "$skip" <<'PY'
import hashlib, sys
folder = sys.argv[1]
with open(folder + "/urls.txt", "w") as urls, open(folder + "/folder/history.txt", "w") as history:
    for i in range(10000):
        url = "http://127.0.0.1:9/set/%05d.jpg" % i
        urls.write(url + "\n")
        history.write("2026-01-01T00:00:00Z\t30000\t%s\t%s\t/x/tmp/%05d.jpg\n" % (hashlib.sha256(url.encode()).hexdigest(), url, i))
PY
for _ in $(seq "$rounds"); do
    echo "skip-done $(measure "$pelmor" --batch --ini "$work/none.ini" --folder "$skip/folder" --skip-done --urls "$skip/urls.txt")"
done | tee >(cat >&2) | report skip-done
