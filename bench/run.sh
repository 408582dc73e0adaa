#!/usr/bin/env bash
# Runs every benchmark of a build: the Google Benchmark executables and the
# whole-program scripts. Usage: bench/run.sh [build-dir]
set -euo pipefail
BUILD="${1:-build}"
HERE="$(cd "$(dirname "$0")" && pwd)"
for exe in "$BUILD"/bench/*_bench; do
  [ -x "$exe" ] || continue
  echo "== $(basename "$exe")"
  "$exe" --benchmark_counters_tabular=true
done
for script in "$HERE"/*.sh; do
  [ "$(basename "$script")" = "run.sh" ] && continue
  echo "== $(basename "$script")"
  bash "$script" "$BUILD"
done
