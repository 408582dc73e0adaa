#!/usr/bin/env bash
# What a user weighs when choosing a RasterPTC copy over a compressed
# GeoTIFF: a 6000 x 6000 float32 DEM, its rast2ptc copy and a tiled
# DEFLATE GeoTIFF with the floating-point predictor (gdal_translate), and
# from one run the wall time and peak resident memory of
#   rastcmp dem.tif against dem.ptc  and  rastcmp dem.tif dem_deflate.tif,
# their ratio, and the times of ptcinfo -check and rast2ptc, each with one
# thread ("-threads 1") and with every processor (the default). Each figure is
# the best of BENCH_ROUNDS runs (default 3), the two comparisons taking
# turns so that the load of a shared machine falls on both alike.
# Usage: bench/ptc_compare_bench.sh <build-dir> [rastcmp to compare with]
# The optional second rastcmp (an older build, say) is timed on the same
# files in the same rounds.
set -euo pipefail
BUILD="$(cd "${1:?usage: $0 <build-dir> [other rastcmp]}" && pwd)"
OTHER="${2:-}"
RASTCMP="$BUILD/app/rastcmp"
RAST2PTC="$BUILD/app/rast2ptc"
PTCINFO="$BUILD/app/ptcinfo"
TOOL="$BUILD/bench/ptc_bench_tool"
for exe in "$RASTCMP" "$RAST2PTC" "$PTCINFO" "$TOOL" /usr/bin/time; do
  [ -x "$exe" ] || { echo "missing $exe" >&2; exit 1; }
done
command -v gdal_translate > /dev/null || { echo "missing gdal_translate (package gdal-bin)" >&2; exit 1; }
SIZE="${BENCH_SIZE:-6000}"
ROUNDS="${BENCH_ROUNDS:-3}"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/ptc_compare_bench.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

"$TOOL" make "$WORK/dem.tif" "$SIZE"
gdal_translate -q -of GTiff -co TILED=YES -co COMPRESS=DEFLATE -co PREDICTOR=3 "$WORK/dem.tif" "$WORK/dem_deflate.tif"

# run <label> <command...>: one run; appends "seconds peak-KB" to label.txt
run() {
  local label="$1"; shift
  local status=0
  /usr/bin/time -f "%e %M" -o "$WORK/time.txt" "$@" > /dev/null 2> "$WORK/$label.log" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "$label ended with exit status $status:" >&2
    tail -5 "$WORK/$label.log" >&2
    exit 1
  fi
  cat "$WORK/time.txt" >> "$WORK/$label.txt"
}

for ((k = 0; k < ROUNDS; k++)); do
  run rast2ptc_threads_1 "$RAST2PTC" -i "$WORK/dem.tif" -threads 1
  run rast2ptc "$RAST2PTC" -i "$WORK/dem.tif"
  run ptcinfo_check_threads_1 "$PTCINFO" -check -threads 1 "$WORK/dem.ptc"
  run ptcinfo_check "$PTCINFO" -check "$WORK/dem.ptc"
  run tif_vs_ptc_threads_1 "$RASTCMP" -i "$WORK/dem.tif" -threads 1
  run tif_vs_ptc "$RASTCMP" -i "$WORK/dem.tif"
  run tif_vs_deflate "$RASTCMP" -i "$WORK/dem.tif" -i "$WORK/dem_deflate.tif"
  if [ -n "$OTHER" ]; then run other_tif_vs_ptc "$OTHER" -i "$WORK/dem.tif"; fi
done

echo "DEM ${SIZE} x ${SIZE} float32: dem.ptc $(stat -c %s "$WORK/dem.ptc") bytes," \
     "dem_deflate.tif $(stat -c %s "$WORK/dem_deflate.tif") bytes"
echo "verdict against the copy:   $(head -1 "$WORK/tif_vs_ptc.log")"
echo "verdict against the DEFLATE: $(head -1 "$WORK/tif_vs_deflate.log")"
best() { sort -n "$WORK/$1.txt" | head -1; }
peak() { sort -k2 -n "$WORK/$1.txt" | tail -1 | cut -d' ' -f2; }
printf "%-36s %8s %10s\n" "run (best of $ROUNDS)" "wall s" "peak MB"
for label in tif_vs_ptc tif_vs_ptc_threads_1 tif_vs_deflate ptcinfo_check ptcinfo_check_threads_1 rast2ptc \
    rast2ptc_threads_1 ${OTHER:+other_tif_vs_ptc}; do
  printf "%-36s %8.2f %10.1f\n" "$label" "$(best "$label" | cut -d' ' -f1)" "$(peak "$label" | awk '{ print $1 / 1024 }')"
done
cells=$((SIZE * SIZE))
awk -v p="$(best tif_vs_ptc | cut -d' ' -f1)" -v d="$(best tif_vs_deflate | cut -d' ' -f1)" \
    -v c="$(best ptcinfo_check | cut -d' ' -f1)" -v c1="$(best ptcinfo_check_threads_1 | cut -d' ' -f1)" \
    -v n="$cells" 'BEGIN {
  printf "tif vs ptc / tif vs deflate-tif: %.2f (target at most 2)\n", p / d
  printf "ptcinfo -check: %.1f M points/s with one thread, %.1f M points/s with all\n", n / c1 / 1e6, n / c / 1e6
}'
if [ -n "$OTHER" ]; then
  awk -v a="$(best other_tif_vs_ptc | cut -d' ' -f1)" -v b="$(best tif_vs_ptc | cut -d' ' -f1)" \
      'BEGIN { printf "tif vs ptc, other rastcmp / this one: %.2f\n", a / b }'
fi
