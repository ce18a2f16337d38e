#!/usr/bin/env bash
# Checks what bash completion offers for nlsolve, row by row.
# Usage: completion.sh COMPLETION_SCRIPT NLSOLVE
set -uo pipefail
source "$1"
program=$2

failures=0
# Each row: the words typed so far (the last one is being completed) | the
# expected candidates, in order.
rows=(
  "|eval solve examples"
  "e|eval examples"
  "--|--help --version"
  "--help so|solve"
  "solve --|--help --example --eq --vars --x0 --log --json"
  "solve --log --e|--example --eq"
  "solve --example |1 2 3 4 5 6 7 8 9"
  "solve --x0 |"
  "solve --eq x --eq y --js|--json"
  "eval --|--help --var"
  "eval --var |"
  "examples --|--help"
)
for row in "${rows[@]}"; do
  typed=${row%%|*}
  expected=${row#*|}
  read -r -a COMP_WORDS <<<"$typed"
  COMP_WORDS=("$program" "${COMP_WORDS[@]}")
  # A trailing blank means a new, empty word is being completed.
  if [[ -z $typed || $typed == *" " ]]; then COMP_WORDS+=(""); fi
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _nlsolve
  got="${COMPREPLY[*]}"
  if [[ $got != "$expected" ]]; then
    echo "FAIL: nlsolve $typed<TAB> offers \"$got\", expected \"$expected\""
    failures=$((failures + 1))
  fi
done
if complete -p nlsolve >/dev/null 2>&1; then :; else
  echo "FAIL: the script does not register a completion for nlsolve"
  failures=$((failures + 1))
fi
echo "$((${#rows[@]} + 1 - failures)) passed, $failures failed"
[[ $failures -eq 0 ]]
