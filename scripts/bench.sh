#!/usr/bin/env bash
# Runs every benchmark program of the build, reporting medians over repetitions.
set -euo pipefail
build="${1:-build}"
status=0
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
       --benchmark_min_time=0.2 || status=1
done
exit $status
