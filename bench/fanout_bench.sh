#!/usr/bin/env bash
# Wall time of 200 small comparisons run through the process fan-out: one
# child at a time ("-cpu64", one core) against two at a time ("-cores 2").
# Usage: bench/fanout_bench.sh <build-dir>
#
# Each child compares its grid with the RasterPTC copy of the same name,
# made first with the build's rast2ptc; the run in one process without
# children is timed as well. The variants run in
# turn for FANOUT_BENCH_ROUNDS rounds (default 3) and the best time of each
# is reported, which damps the noise of a shared machine.
set -euo pipefail
BUILD="${1:?usage: $0 <build-dir>}"
EXE="$(cd "$BUILD" && pwd)/app/rastcmp"
[ -x "$EXE" ] || { echo "no rastcmp in $BUILD/app" >&2; exit 1; }
N="${FANOUT_BENCH_N:-200}"
CELLS="${FANOUT_BENCH_CELLS:-100}"
ROUNDS="${FANOUT_BENCH_ROUNDS:-3}"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/fanout_bench.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

# one small grid, copied N times
awk -v n="$CELLS" 'BEGIN {
  printf "ncols %d\nnrows %d\nxllcorner 1000\nyllcorner 2000\ncellsize 1\nNODATA_value -9999\n", n, n
  for (r = 0; r < n; r++) { line = ""; for (c = 0; c < n; c++) line = line (c ? " " : "") ((r * n + c) % 997) / 10; print line }
}' > "$WORK/grid.asc"
files=()
for ((k = 0; k < N; k++)); do
  f="$WORK/tile_$k.asc"
  cp "$WORK/grid.asc" "$f"
  files+=("$f")
done
rm "$WORK/grid.asc"

RAST2PTC="$(cd "$BUILD" && pwd)/app/rast2ptc"
[ -x "$RAST2PTC" ] || { echo "no rast2ptc in $BUILD/app" >&2; exit 1; }
"$RAST2PTC" -quiet -i "${files[@]}"
copies=yes

# time_run <label> <args...>: wall seconds of one run; exit status reported
time_run() {
  local label="$1"; shift
  local t0 t1 status=0
  t0=$(date +%s.%N)
  "$EXE" "$@" 2> "$WORK/$label.log" || status=$?
  t1=$(date +%s.%N)
  local secs
  secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
  local children
  children=$(grep -c '^Starting thread\[' "$WORK/$label.log" || true)
  printf '%-26s %8s s   exit %d   children %d\n' "$label" "$secs" "$status" "$children" >&2
  echo "$secs"
}

echo "fan-out over $N grids of ${CELLS}x${CELLS} cells (RasterPTC copies: $copies), best of $ROUNDS rounds" >&2
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
one="" two="" single=""
for ((round = 1; round <= ROUNDS; round++)); do
  one=$(best "$one" "$(time_run "one core (-cpu64)" -cpu64 -i "${files[@]}")")
  two=$(best "$two" "$(time_run "two cores (-cores 2)" -cores 2 -i "${files[@]}")")
  if [ "$copies" = yes ]; then
    single=$(best "$single" "$(time_run "one process, no children" -i "${files[@]}")")
  fi
done
printf 'best: one core %s s, two cores %s s%s\n' "$one" "$two" "${single:+, one process $single s}" >&2
awk -v a="$one" -v b="$two" 'BEGIN { if (b > 0) printf "speed-up of -cores 2 over one core: %.2fx\n", a / b }' >&2
