#!/usr/bin/env bash
# Runs rastcmp on the example grids of examples/.
set -uo pipefail
BUILD="${1:-build}"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
RASTCMP="$BUILD/app/rastcmp"
echo "\$ rastcmp -i examples/dem.asc -i examples/dem_copy.asc"
"$RASTCMP" -i "$ROOT/examples/dem.asc" -i "$ROOT/examples/dem_copy.asc"
echo "exit status: $?"
echo
echo "\$ rastcmp -i examples/dem.asc -i examples/dem_edited.asc"
"$RASTCMP" -i "$ROOT/examples/dem.asc" -i "$ROOT/examples/dem_edited.asc"
echo "exit status: $?"
