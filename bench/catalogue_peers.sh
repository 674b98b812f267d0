#!/usr/bin/env bash
# The thumbnail catalogue of batch mode (bench_catalogue: the same build and file writing as
# --catalogue) against ImageMagick's montage (a contact sheet of 64-pixel tiles) and vipsthumbnail
# (-s 64, one small file per picture) on the same COUNT JPEG files of 2000 by 1500 pixels, the
# tools alternating in one run. Prints medians of wall and CPU time and of peak memory, and ratios.
# montage is given the JPEG size hint (-define jpeg:size), its documented way to decode at a
# reduced size; without it, it holds every picture whole (some 24 GB for 1000 files).
# Usage: bench/catalogue_peers.sh [BENCH_CATALOGUE]   (default: build/bin/bench_catalogue)
# Environment: ROUNDS (default 3), COUNT (default 1000).
set -euo pipefail
bench=$(realpath "${1:-build/bin/bench_catalogue}")
source "$(dirname "$0")/lib.sh"
count=${COUNT:-1000}

"$bench" make "$work/jpeg" "$count"
files=("$work"/jpeg/*.jpg)
cat "${files[@]}" > /dev/null # the first tool must not pay for the disk alone

# Like measure, with the peak resident memory in MiB as a third figure.
measure_peak() {
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    awk '{ printf "%.3f %.3f %.1f\n", $1, $2 + $3, $4 / 1024 }' "$work/time"
}

echo "== thumbnails of $count JPEG files of 2000x1500"
for _ in $(seq "$rounds"); do
    rm -f "$work/out.pel"
    echo "pelmor-catalogue $(measure_peak "$bench" build "$work/out.pel" "${files[@]}")"
    [[ -s $work/out.pel ]] || { echo "no catalogue written" >&2; exit 1; }
    echo "montage $(measure_peak montage -define jpeg:size=128x128 -geometry 64x64+0+0 -tile 40x "${files[@]}" "$work/sheet.jpg")"
    rm -rf "$work/vips"; mkdir -p "$work/vips"
    echo "vipsthumbnail $(measure_peak vipsthumbnail -s 64 -o "$work/vips/%s.jpg" "${files[@]}")"
    [[ $(ls "$work/vips" | wc -l) == "$count" ]] || { echo "vipsthumbnail made $(ls "$work/vips" | wc -l) files" >&2; exit 1; }
done > "$work/rounds"
cat "$work/rounds" >&2
cut -d' ' -f1-3 "$work/rounds" | report pelmor-catalogue
awk 'function median(list,   n, v, i, j, t) {
         n = split(list, v, " ")
         for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] + 0 < v[i] + 0) { t = v[i]; v[i] = v[j]; v[j] = t }
         return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
     }
     { if (!($1 in peak)) order[++tools] = $1; peak[$1] = peak[$1] " " $4 }
     END {
         ref = median(peak[order[1]])
         printf "%-28s %10s %12s\n", "median peak memory", "MiB", "ratio"
         for (i = 1; i <= tools; i++) { m = median(peak[order[i]]); printf "%-28s %10.1f %11.2fx\n", order[i], m, m / ref }
     }' "$work/rounds"
