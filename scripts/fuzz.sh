#!/usr/bin/env bash
# Runs the engine fuzz target for a while from the seed corpus.
# Usage: scripts/fuzz.sh BUILD_DIR SECONDS
# The seeds are copied to a scratch directory so the run never changes the
# repository; a crash leaves its input in BUILD_DIR/fuzz-artifacts/ and exits non-zero.
set -euo pipefail

build_dir=${1:?usage: scripts/fuzz.sh BUILD_DIR SECONDS}
seconds=${2:?usage: scripts/fuzz.sh BUILD_DIR SECONDS}
root=$(cd "$(dirname "$0")/.." && pwd)
target="$build_dir/fuzz/fuzz_engine"
if [[ ! -x "$target" ]]; then
  echo "fuzz.sh: $target not built (make fuzz builds it)" >&2
  exit 2
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$root"/fuzz/corpus/* "$scratch"/
artifacts=$(cd "$build_dir" && pwd)/fuzz-artifacts
mkdir -p "$artifacts"

# -timeout: one input taking longer counts as a hang; -rss_limit_mb: the
# engine's text limit allows a few 64 MiB texts at once, nothing beyond.
dict=()
[[ -f "$root/fuzz/engine.dict" ]] && dict=(-dict="$root/fuzz/engine.dict")
"$target" "$scratch" "${dict[@]}" \
  -max_total_time="$seconds" \
  -max_len=8192 \
  -timeout=10 \
  -rss_limit_mb=2560 \
  -print_final_stats=1 \
  -artifact_prefix="$artifacts/"
