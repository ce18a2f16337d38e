#!/usr/bin/env bash
# Runs every benchmark program of the build, reporting medians over repetitions.
#   scripts/bench.sh [build]                 time every benchmark
#   scripts/bench.sh --instructions [build]  instructions per call of each
#                                            example equation through Evaluate,
#                                            muparser (parsed once) and native
#                                            code (callgrind)
set -euo pipefail
if [ "${1:-}" = "--instructions" ]; then
  build="${2:-build}"
  out="$(mktemp -d)"
  trap 'rm -rf "$out"' EXIT
  calls="$(valgrind --tool=callgrind --callgrind-out-file="$out/cg.out" \
             "$build/bench/bench_evaluate" --instructions 2>/dev/null | sed -n 's/ calls per part//p')"
  for part in "$out"/cg.out.*; do
    label="$(sed -n 's/^desc: Trigger: Client Request: //p' "$part")"
    total="$(sed -n 's/^summary: //p;s/^totals: //p' "$part" | head -1)"
    [ -n "$label" ] && printf '%8d  %s\n' $((total / calls)) "$label"
  done | sort -s -k3 | sort -s -k2,2
  exit 0
fi
build="${1:-build}"
status=0
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
       --benchmark_min_time=0.2 || status=1
done
exit $status
