#!/usr/bin/env bash
# Runs rastcmp on the example grids of examples/ (the edited grid also with
# statistics and a difference picture, written to the build folder), then
# makes the RasterPTC copy of dem.asc with rast2ptc in a temporary directory
# and compares the grid with its copy in batch mode. Nothing is written into
# examples/.
set -uo pipefail
# the tools report on stderr: keep their lines in order with the commands
exec 2>&1
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(cd "${1:-build}" && pwd)"
RASTCMP="$BUILD/app/rastcmp"
RAST2PTC="$BUILD/app/rast2ptc"
echo "\$ rastcmp -i examples/dem.asc -i examples/dem_copy.asc"
"$RASTCMP" -i "$ROOT/examples/dem.asc" -i "$ROOT/examples/dem_copy.asc"
echo "exit status: $?"
echo
echo "\$ rastcmp -i examples/dem.asc -i examples/dem_edited.asc"
"$RASTCMP" -i "$ROOT/examples/dem.asc" -i "$ROOT/examples/dem_edited.asc"
echo "exit status: $?"
echo
echo "\$ rastcmp -v -diff_picture $BUILD/dem_diff.png -i examples/dem.asc -i examples/dem_edited.asc"
"$RASTCMP" -v -diff_picture "$BUILD/dem_diff.png" -i "$ROOT/examples/dem.asc" -i "$ROOT/examples/dem_edited.asc"
echo "exit status: $?"

# batch mode compares dem.asc with dem.ptc beside it: work on a copy
WORK="$(mktemp -d "${TMPDIR:-/tmp}/rastcmp_demo.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
cp "$ROOT/examples/dem.asc" "$WORK/dem.asc"
echo
echo "\$ cp examples/dem.asc $WORK/ && cd $WORK"
echo "\$ rast2ptc -i dem.asc"
(cd "$WORK" && "$RAST2PTC" -i dem.asc)
echo "exit status: $?"
echo
echo "\$ rastcmp -i dem.asc"
(cd "$WORK" && "$RASTCMP" -i dem.asc)
echo "exit status: $?"
echo
echo "\$ ptcinfo -check dem.ptc"
(cd "$WORK" && "$(dirname "$RASTCMP")/ptcinfo" -check dem.ptc)
echo "exit status: $?"
