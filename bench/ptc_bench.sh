#!/usr/bin/env bash
# A 6000 x 6000 float32 GeoTIFF against its RasterPTC copy, side by side with
# the GeoTIFF against itself: wall time and peak resident memory of each
# rastcmp run (best time of PTC_BENCH_ROUNDS rounds, default 3), the time to
# write the copy, and the in-process decode rate of the copy in points per
# second. The memory target of the PTC comparison is 4.2 bytes per cell
# plus 64 MB. Usage: bench/ptc_bench.sh <build-dir>
set -euo pipefail
BUILD="$(cd "${1:?usage: $0 <build-dir>}" && pwd)"
RASTCMP="$BUILD/app/rastcmp"
RAST2PTC="$BUILD/app/rast2ptc"
TOOL="$BUILD/bench/ptc_bench_tool"
for exe in "$RASTCMP" "$RAST2PTC" "$TOOL"; do
  [ -x "$exe" ] || { echo "missing $exe" >&2; exit 1; }
done
SIZE="${PTC_BENCH_SIZE:-6000}"
ROUNDS="${PTC_BENCH_ROUNDS:-3}"
CELLS=$((SIZE * SIZE))

WORK="$(mktemp -d "${TMPDIR:-/tmp}/ptc_bench.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

"$TOOL" make "$WORK/dem.tif" "$SIZE"

# measure <label> <command...>: sets SECS (wall) and RSS_KB (peak) of one run
measure() {
  local label="$1"; shift
  local status=0
  /usr/bin/time -f "%e %M" -o "$WORK/time.txt" "$@" 2> "$WORK/$label.log" || status=$?
  read -r SECS RSS_KB < "$WORK/time.txt"
  if [ "$status" -ne 0 ]; then
    echo "$label ended with exit status $status:" >&2
    cat "$WORK/$label.log" >&2
    exit 1
  fi
}

measure rast2ptc "$RAST2PTC" -i "$WORK/dem.tif"
echo "rast2ptc ${SIZE}x${SIZE} float32 GeoTIFF: ${SECS} s, peak ${RSS_KB} KB, copy of $(stat -c %s "$WORK/dem.ptc") bytes"

best_ptc="" best_tif="" rss_ptc=0 rss_tif=0
for ((k = 0; k < ROUNDS; k++)); do
  measure ptc "$RASTCMP" -i "$WORK/dem.tif"
  best_ptc=$(awk -v a="$best_ptc" -v b="$SECS" 'BEGIN { print (a == "" || b < a) ? b : a }')
  [ "$RSS_KB" -gt "$rss_ptc" ] && rss_ptc=$RSS_KB
  measure tif "$RASTCMP" -i "$WORK/dem.tif" -i "$WORK/dem.tif"
  best_tif=$(awk -v a="$best_tif" -v b="$SECS" 'BEGIN { print (a == "" || b < a) ? b : a }')
  [ "$RSS_KB" -gt "$rss_tif" ] && rss_tif=$RSS_KB
done
echo "verdict against the copy: $(head -1 "$WORK/ptc.log")"
echo "verdict against itself:   $(head -1 "$WORK/tif.log")"
"$TOOL" decode "$WORK/dem.ptc"

awk -v cells="$CELLS" -v tp="$best_ptc" -v tt="$best_tif" -v rp="$rss_ptc" -v rt="$rss_tif" 'BEGIN {
  limit = (4.2 * cells + 64 * 1048576) / 1024
  printf "%-34s %8s %14s %14s\n", "comparison (best of rounds)", "wall s", "peak KB", "bytes/cell"
  printf "%-34s %8.2f %14d %14.2f\n", "rastcmp dem.tif (against dem.ptc)", tp, rp, rp * 1024 / cells
  printf "%-34s %8.2f %14d %14.2f\n", "rastcmp dem.tif dem.tif", tt, rt, rt * 1024 / cells
  printf "PTC against TIF time ratio %.2f; memory target %d KB: %s\n", tp / tt, limit, rp <= limit ? "met" : "MISSED"
}'
