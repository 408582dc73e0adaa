#!/usr/bin/env bash
# The cost of rastcmp's report options on a 6000 x 6000 float32 GeoTIFF pair
# with differences: processor time, user plus system, which a loaded shared
# machine disturbs less than wall time (best of REPORT_BENCH_ROUNDS rounds,
# default 5)
# and peak resident memory of a plain comparison, of one with "-json -v"
# (statistics and the first ten cells), with "-diff_raster" and with
# "-diff_picture". Targets: "-json -v" at most 20% slower than the plain
# run; the difference raster under 64 MB peak memory. With BASELINE set to
# another rastcmp binary (an earlier build), its plain run is timed too.
# Usage: bench/report_bench.sh <build-dir>
set -euo pipefail
BUILD="$(cd "${1:?usage: $0 <build-dir>}" && pwd)"
RASTCMP="$BUILD/app/rastcmp"
TOOL="$BUILD/bench/ptc_bench_tool"
for exe in "$RASTCMP" "$TOOL"; do
  [ -x "$exe" ] || { echo "missing $exe" >&2; exit 1; }
done
SIZE="${REPORT_BENCH_SIZE:-6000}"
ROUNDS="${REPORT_BENCH_ROUNDS:-5}"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/report_bench.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
"$TOOL" make "$WORK/a.tif" "$SIZE"
"$TOOL" make "$WORK/b.tif" "$SIZE" edited

# best <label> <command...>: best processor seconds and the peak RSS (MB) of that run
best() {
  local label="$1"; shift
  local secs="" rss=""
  for ((round = 1; round <= ROUNDS; round++)); do
    /usr/bin/time -f "%U %S %M" -o "$WORK/time.txt" "$@" > "$WORK/out.txt" 2> "$WORK/err.txt" || true
    read -r u sy kb < "$WORK/time.txt"
    s=$(awk -v a="$u" -v b="$sy" 'BEGIN { printf "%.2f", a + b }')
    if [ -z "$secs" ] || awk -v a="$s" -v b="$secs" 'BEGIN { exit !(a < b) }'; then secs="$s"; rss=$((kb / 1024)); fi
  done
  printf '%-28s %7s s %6s MB\n' "$label" "$secs" "$rss" >&2
  echo "$secs $rss"
}

echo "report options on a ${SIZE}x${SIZE} float32 GeoTIFF pair, best of $ROUNDS rounds" >&2
if [ -n "${BASELINE:-}" ]; then best "baseline, no options" "$BASELINE" -i "$WORK/a.tif" -i "$WORK/b.tif" > /dev/null; fi
read -r plain _ < <(best "no options" "$RASTCMP" -i "$WORK/a.tif" -i "$WORK/b.tif")
read -r json _ < <(best "-json -v" "$RASTCMP" -json -v -i "$WORK/a.tif" -i "$WORK/b.tif")
read -r _ raster_mb < <(best "-diff_raster" "$RASTCMP" -diff_raster "$WORK/d.tif" -i "$WORK/a.tif" -i "$WORK/b.tif")
best "-diff_picture" "$RASTCMP" -diff_picture "$WORK/d.png" -i "$WORK/a.tif" -i "$WORK/b.tif" > /dev/null
awk -v a="$plain" -v b="$json" 'BEGIN { if (a > 0) printf "-json -v against no options: %+.1f%% (target at most +20%%)\n", (b / a - 1) * 100 }' >&2
echo "-diff_raster peak memory: $raster_mb MB (target under 64 MB)" >&2
