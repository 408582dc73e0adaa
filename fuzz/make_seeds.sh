#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets into <out>/<target>/: small
# rasters of every format written by GDAL from the example grid, their
# RasterPTC copies written by our own rast2ptc, and option lines. Nothing is
# checked in; everything is made here.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
TOOLS="$(cd "$1" && pwd)"   # a release build with app/rast2ptc (and app/ptcconv when built)
OUT="$2"
mkdir -p "$OUT"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/rastcmp_seeds.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
seed() { mkdir -p "$OUT/$1"; cp "$2" "$OUT/$1/$(basename "$2")"; }
q() { "$@" > /dev/null 2>&1; }

cp "$ROOT/examples/dem.asc" "$WORK/dem.asc"
seed fuzz_raster_asc "$WORK/dem.asc"
q gdal_translate -of GTiff -ot Float32 "$WORK/dem.asc" "$WORK/strips.tif"
q gdal_translate -of GTiff -ot Int16 -co TILED=YES -co BLOCKXSIZE=16 -co BLOCKYSIZE=16 "$WORK/dem.asc" "$WORK/tiles.tif"
q gdal_translate -of GTiff -ot Float32 -co COMPRESS=DEFLATE -co PREDICTOR=3 "$WORK/dem.asc" "$WORK/deflate.tif"
for f in strips tiles deflate; do seed fuzz_raster_tif "$WORK/$f.tif"; done
q gdal_translate -of PNG -ot UInt16 -scale 240 270 1 65535 "$WORK/dem.asc" "$WORK/dem.png"
seed fuzz_raster_png "$WORK/dem.png"
q gdal_translate -of EHdr -ot Int16 "$WORK/dem.asc" "$WORK/dem.bil"
{ cat "$WORK/dem.hdr"; printf '\0'; cat "$WORK/dem.bil"; } > "$WORK/dem.hdrbil"
seed fuzz_raster_bil "$WORK/dem.hdrbil"

(cd "$WORK" && q "$TOOLS/app/rast2ptc" -i dem.asc)
seed fuzz_raster_ptc "$WORK/dem.ptc"
seed fuzz_las_reader "$WORK/dem.ptc"
if [ -x "$TOOLS/app/ptcconv" ]; then
  (cd "$WORK" && q "$TOOLS/app/ptcconv" -i dem.ptc -o dem.las) && seed fuzz_las_reader "$WORK/dem.las"
  if (cd "$WORK" && q "$TOOLS/app/ptcconv" -i dem.ptc -o indexed.las -index) && [ -f "$WORK/indexed.lax" ]; then
    { printf '\x60\x00\x00\x00'; cat "$WORK/indexed.lax"; } > "$WORK/index.seed"   # 96 points, then the record
    seed fuzz_index_record "$WORK/index.seed"
  fi
  for pf in 1 3 6 7 8 10; do
    (cd "$WORK" && q "$TOOLS/app/rast2ptc" -point_format "$pf" -i dem.asc -o "pf$pf.ptc") && seed fuzz_las_reader "$WORK/pf$pf.ptc"
  done
fi

printf '1,100,0.0,0.0,10.0,10.0,a.las\nb.las\n"c d.las"\n' > "$WORK/list.txt"
seed fuzz_list_file "$WORK/list.txt"
printf -- '-i\na.asc\n-i\nb.ptc\n-cores\n2\n-keep_class\n2\n6\n' > "$WORK/rastcmp.args"
seed fuzz_cli_rastcmp "$WORK/rastcmp.args"
printf -- '-check\na.ptc\n' > "$WORK/ptcinfo.args"
seed fuzz_cli_ptcinfo "$WORK/ptcinfo.args"
printf -- '-i\na.asc\n-point_format\n6\n-odir\nout\n' > "$WORK/rast2ptc.args"
seed fuzz_cli_rast2ptc "$WORK/rast2ptc.args"
printf -- '-i\na.las\n-o\nb.ptc\n-item_version\n3\n-chunk_size\n1000\n-keep_class\n2\n-translate_z\n1\n' > "$WORK/ptcconv.args"
seed fuzz_cli_ptcconv "$WORK/ptcconv.args"
printf -- '-keep_class\n2\n6\n-drop_z_below\n1.5\n-keep_circle\n0\n0\n10\n-filter_or\n' > "$WORK/filter.args"
seed fuzz_filter_options "$WORK/filter.args"
printf -- '-translate_z\n10\n-scale_intensity\n2\n-set_classification\n6\n-clamp_z\n0\n100\n-keep_class\n2\n-filtered_transform\n' > "$WORK/transform.args"
seed fuzz_transform_options "$WORK/transform.args"
