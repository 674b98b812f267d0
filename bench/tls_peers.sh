#!/usr/bin/env bash
# pelmor --batch against curl and wget over https, nginx on loopback with a certificate of a test
# authority made here (every tool trusts it through its own option), the tools alternating in one run:
#   1. one large file (SIZE_MB, default 1024);
#   2. 200 numbered files of 100 KiB at pelmor's pacing (one start per 50 ms tick; curl --rate 20/s,
#      wget --wait=0.05).
# Usage: bench/tls_peers.sh [PELMOR]   (default: build/bin/pelmor)
# Environment: ROUNDS (default 3), SIZE_MB (default 1024).
set -euo pipefail
[[ -n ${BENCH_DEBUG:-} ]] && set -x
pelmor=$(realpath "${1:-build/bin/pelmor}")
source "$(dirname "$0")/lib.sh"

make_test_pki
make_big_file
for i in $(seq -w 1 200); do head -c 102400 /dev/urandom > "$www/img$i.jpg"; done
nginx_listen=" ssl"
nginx_server="ssl_certificate $pki/server.pem; ssl_certificate_key $pki/server.key;"
start_nginx
base="https://127.0.0.1:$port"
for i in $(seq -w 1 200); do echo "$base/img$i.jpg"; done > "$work/urls.txt"
curl -s --cacert "$pki/ca.pem" -o /dev/null "$base/big.bin"
out=$work/out
batch() { rm -rf "$out"; mkdir -p "$out"; "$pelmor" --batch --ini "$work/tls.ini" --folder "$out" "$@"; }
fresh() { rm -rf "$out"; mkdir -p "$out"; cd "$out"; }

echo "== one file of $size_mb MiB over TLS"
for _ in $(seq "$rounds"); do
    echo "curl $(fresh; measure curl -s --cacert "$pki/ca.pem" -o "$out/big.bin" "$base/big.bin")"
    echo "wget $(fresh; measure wget -q --ca-certificate="$pki/ca.pem" -O "$out/big.bin" "$base/big.bin")"
    echo "pelmor $(measure batch --threads 1 --add "$base/big.bin")"
    [[ $(stat -c %s "$out"/tmp/* 2>/dev/null || echo 0) == $((size_mb * 1024 * 1024)) ]] \
        || { echo "pelmor fetched a wrong size" >&2; exit 1; }
done | tee >(cat >&2) | report curl

echo "== 200 files of 100 KiB over TLS, 20 starts a second"
for _ in $(seq "$rounds"); do
    echo "curl-rate-20/s $(fresh; measure curl -s --cacert "$pki/ca.pem" --rate 20/s -o "$out/img#1.jpg" "$base/img[001-200].jpg")"
    echo "wget-wait-0.05 $(fresh; measure wget -q --ca-certificate="$pki/ca.pem" --wait=0.05 -P "$out" -i "$work/urls.txt")"
    echo "pelmor $(measure batch --threads 4 --interval 50 --make "$base/img\$.jpg" 1 200 3)"
    [[ $(ls "$out/tmp" | wc -l) == 200 ]] || { echo "pelmor fetched $(ls "$out/tmp" | wc -l) files" >&2; exit 1; }
done | tee >(cat >&2) | report pelmor
