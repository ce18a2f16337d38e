#!/usr/bin/env bash
# Checks what bash completion offers for nlsolve, row by row.
# Usage: completion.sh COMPLETION_SCRIPT NLSOLVE
set -uo pipefail
source "$1"
program=$2

failures=0
# File names are completed in a directory that holds exactly these.
files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
mkdir "$files/sub"
touch "$files/a.txt" "$files/b.jsonl" "$files/sub/c.txt"
cd "$files" || exit 1
# Each row: the words typed so far (the last one is being completed) | the
# expected candidates, in order.
rows=(
  "|eval jacobian solve batch examples roots plot"
  "e|eval examples"
  "--|--help --version"
  "--help so|solve"
  "solve --|--help --example --eq --vars --x0 --def --log --json --bounds --quiet --method --ftol --max-evaluations --max-seconds --max-starts --seed --certify"
  "solve --method |newton hybrid lm auto sparse"
  "plot --method h|hybrid"
  "solve |a.txt b.jsonl sub"
  "solve --json a|a.txt"
  "batch |a.txt b.jsonl sub"
  "eval --file sub/|sub/c.txt"
  "plot -o |a.txt b.jsonl sub"
  "plot --output b|b.jsonl"
  "eval |"
  "roots --x0 |"
  "solve --log --e|--example --eq"
  "solve --example |1 2 3 4 5 6 7 8 9"
  "solve --x0 |"
  "solve --eq x --eq y --js|--json"
  "eval --|--help --var --file --grad --json"
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
