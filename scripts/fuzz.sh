#!/usr/bin/env bash
# Runs every fuzz target of <fuzz build>/fuzz for FUZZ_SECONDS each (default
# 60) on corpora seeded by fuzz/make_seeds.sh. A crash, a sanitizer report,
# an input that takes over 10 s or allocates over 2 GB fails the run; the
# reproducer stays in <fuzz build>/artifacts/. Prints executions per second
# and coverage per target.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
FUZZ_BUILD="$(cd "${1:-build-fuzz}" && pwd)"
TOOLS="${2:-build}"
SECONDS_EACH="${FUZZ_SECONDS:-60}"
SEEDS="$FUZZ_BUILD/seeds"
CORPUS="$FUZZ_BUILD/corpus"
ARTIFACTS="$FUZZ_BUILD/artifacts"
mkdir -p "$CORPUS" "$ARTIFACTS"
rm -rf "$SEEDS"
bash "$ROOT/fuzz/make_seeds.sh" "$TOOLS" "$SEEDS"

dict_of() {
  case "$1" in
    fuzz_raster_asc) echo "$ROOT/fuzz/asc.dict" ;;
    fuzz_raster_bil) echo "$ROOT/fuzz/bil.dict" ;;
    fuzz_cli_* | fuzz_*_options) echo "$ROOT/fuzz/cli.dict" ;;
  esac
}

failed=0
printf '%-28s %10s %8s %8s\n' target execs/s cov ft
for target in "$FUZZ_BUILD"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  mkdir -p "$CORPUS/$name" "$SEEDS/$name"
  args=(-max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=2048
        -artifact_prefix="$ARTIFACTS/$name-" -print_final_stats=1)
  dict="$(dict_of "$name")"
  [ -n "$dict" ] && args+=(-dict="$dict")
  # Option parsers end the run by throwing through their callers, which
  # leaves their allocations behind by design: no leak check there.
  case "$name" in fuzz_cli_*) args+=(-detect_leaks=0) ;; esac
  log="$FUZZ_BUILD/$name.log"
  if ! "$target" "${args[@]}" "$CORPUS/$name" "$SEEDS/$name" > "$log" 2>&1; then
    echo "FAILED: $name (see $log and $ARTIFACTS/)"
    grep -m5 -E "ERROR|SUMMARY|Test unit written" "$log"
    failed=1
    continue
  fi
  execs="$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$')"
  last="$(grep -E '^#[0-9]+' "$log" | tail -1)"
  cov="$(echo "$last" | grep -oE 'cov: [0-9]+' | grep -oE '[0-9]+')"
  ft="$(echo "$last" | grep -oE 'ft: [0-9]+' | grep -oE '[0-9]+')"
  printf '%-28s %10s %8s %8s\n' "$name" "$(( ${execs:-0} / SECONDS_EACH ))" "${cov:-?}" "${ft:-?}"
done
exit $failed
