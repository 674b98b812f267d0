#!/usr/bin/env bash
# pelmor --batch against curl, wget and aria2c on the same data from nginx on loopback, the tools
# alternating in one run:
#   1. one large file (SIZE_MB, default 1024);
#   2. 200 numbered files of 100 KiB, at the same pacing: pelmor starts one job per 50 ms tick,
#      so the peers are held to 20 starts a second (curl --rate, wget --wait); unpaced peers too.
# pelmor runs into a pipe and again on a pseudo-terminal (script), where it redraws its live display.
# Usage: bench/batch_peers.sh [PELMOR]   (default: build/bin/pelmor)
# Environment: ROUNDS (default 3), SIZE_MB (default 1024).
set -euo pipefail
pelmor=$(realpath "${1:-build/bin/pelmor}")
source "$(dirname "$0")/lib.sh"

make_big_file
for i in $(seq -w 1 200); do head -c 102400 /dev/urandom > "$www/img$i.jpg"; done
start_nginx
base="http://127.0.0.1:$port"
for i in $(seq -w 1 200); do echo "$base/img$i.jpg"; done > "$work/urls.txt"
curl -s -o /dev/null "$base/big.bin"
out=$work/out
batch() { rm -rf "$out"; mkdir -p "$out"; "$pelmor" --batch --ini "$work/none.ini" --folder "$out" "$@"; }
on_terminal() {
    rm -rf "$out"; mkdir -p "$out"
    script -qefc "$(printf '%q ' "$pelmor" --batch --ini "$work/none.ini" --folder "$out" "$@")" /dev/null
}
declare -A label=([batch]=pelmor [on_terminal]=pelmor-on-a-terminal)
fresh() { rm -rf "$out"; mkdir -p "$out"; cd "$out"; }

echo "== one file of $size_mb MiB"
for _ in $(seq "$rounds"); do
    echo "curl $(fresh; measure curl -s -o "$out/big.bin" "$base/big.bin")"
    echo "wget $(fresh; measure wget -q -O "$out/big.bin" "$base/big.bin")"
    echo "aria2c $(fresh; measure aria2c -q -x1 --allow-overwrite=true --file-allocation=none -d "$out" "$base/big.bin")"
    for run in batch on_terminal; do
        echo "${label[$run]} $(measure $run --threads 1 --add "$base/big.bin")"
        [[ $(stat -c %s "$out"/tmp/*big.bin 2>/dev/null || echo 0) == $((size_mb * 1024 * 1024)) ]] \
            || { echo "pelmor fetched a wrong size" >&2; exit 1; }
    done
done | tee >(cat >&2) | report curl

echo "== 200 files of 100 KiB, 20 starts a second"
for _ in $(seq "$rounds"); do
    echo "curl-rate-20/s $(fresh; measure curl -s --rate 20/s -o "$out/img#1.jpg" "$base/img[001-200].jpg")"
    echo "wget-wait-0.05 $(fresh; measure wget -q --wait=0.05 -P "$out" -i "$work/urls.txt")"
    for run in batch on_terminal; do
        echo "${label[$run]} $(measure $run --threads 4 --interval 50 --make "$base/img\$.jpg" 1 200 3)"
        [[ $(ls "$out/tmp" | wc -l) == 200 ]] || { echo "pelmor fetched $(ls "$out/tmp" | wc -l) files" >&2; exit 1; }
    done
    echo "curl-unpaced $(fresh; measure curl -s -o "$out/img#1.jpg" "$base/img[001-200].jpg")"
    echo "wget-unpaced $(fresh; measure wget -q -P "$out" -i "$work/urls.txt")"
done | tee >(cat >&2) | report pelmor
