#!/usr/bin/env bash
# Checks that nlsolve's manual page describes every command and every long
# option the program's help lists, so a new command cannot ship undocumented.
# Usage: man-covers-cli.sh COMPLETION_SCRIPT NLSOLVE MAN_SOURCE
set -uo pipefail
source "$1"
program=$2
page=$3

missing=()
# Long options as roff writes them: --vars is \-\-vars.
check_options() {
  local option
  for option in $(_nlsolve_options "$program" "${1:-}" | tr -d =); do
    [[ $option == --help ]] && continue
    grep -qF -- "${option//-/\\-}" "$page" || missing+=("${1:-nlsolve} $option")
  done
}
check_options ""
for command in $(_nlsolve_help_section Subcommands "$program"); do
  grep -q "^\.SS \"$command " "$page" || missing+=("command $command (a .SS \"$command ...\" section)")
  check_options "$command"
done
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "not in $page:"
  printf '  %s\n' "${missing[@]}"
  exit 1
fi
echo "every command and option of nlsolve is in $page"
