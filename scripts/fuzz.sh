#!/usr/bin/env bash
# Runs every fuzz target for a while from its seed corpus and dictionary.
# Usage: scripts/fuzz.sh BUILD_DIR SECONDS [NAME...]
# Prints one line per target: "fuzz_NAME: N runs, 0 crashes". The seeds are
# copied to a scratch directory so a run never changes the repository; a
# crash or a hang leaves its input in BUILD_DIR/fuzz-artifacts/ and the script
# exits non-zero after the remaining targets have run.
set -euo pipefail

build_dir=${1:?usage: scripts/fuzz.sh BUILD_DIR SECONDS [NAME...]}
seconds=${2:?usage: scripts/fuzz.sh BUILD_DIR SECONDS [NAME...]}
shift 2
names=("$@")
[[ ${#names[@]} -gt 0 ]] || names=(engine sysfile batch cli)
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "$build_dir" && pwd)
artifacts=$build_dir/fuzz-artifacts
mkdir -p "$artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=0
for name in "${names[@]}"; do
  target="$build_dir/fuzz/fuzz_$name"
  if [[ ! -x "$target" ]]; then
    echo "fuzz.sh: $target not built (make fuzz builds it)" >&2
    exit 2
  fi
  corpus="$scratch/$name"
  mkdir -p "$corpus"
  cp "$root/fuzz/corpus/$name"/* "$corpus"/
  dict=()
  [[ -f "$root/fuzz/$name.dict" ]] && dict=(-dict="$root/fuzz/$name.dict")
  log="$scratch/$name.log"
  # -timeout: one input taking longer counts as a hang; -rss_limit_mb: the
  # text limits allow a few 64 MiB texts at once, nothing beyond. Targets run
  # in the scratch directory, so nothing they may write lands in the tree.
  status=0
  (cd "$scratch" && "$target" "$corpus" "${dict[@]}" \
    -max_total_time="$seconds" \
    -max_len=8192 \
    -timeout=10 \
    -rss_limit_mb=2560 \
    -print_final_stats=1 \
    -artifact_prefix="$artifacts/fuzz_$name-") </dev/null >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [[ $status -eq 0 ]]; then
    echo "fuzz_$name: ${runs:-0} runs, 0 crashes"
  else
    failed=1
    echo "fuzz_$name: ${runs:-?} runs, 1 crash (exit $status); the input is in $artifacts, the log follows"
    tail -n 40 "$log"
  fi
done
exit $failed
