#!/usr/bin/env bash
# Opens the main window. Without a display (no DISPLAY and no WAYLAND_DISPLAY)
# it solves the nine examples with the command line instead, logs included,
# and draws example 1 (zero curves, roots, Newton's path) into a PNG.
# Usage: scripts/run.sh BUILD_DIR
set -euo pipefail

build="${1:-build}"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/app/nlsolver"
fi

nlsolve="$build/cli/nlsolve"
if [ ! -x "$nlsolve" ]; then
  echo "run: no display, and $nlsolve is not built" >&2
  exit 1
fi
echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): the window cannot open."
echo "Solving the nine example systems with $nlsolve instead."
for n in 1 2 3 4 5 6 7 8 9; do
  echo
  echo "== Example $n: $nlsolve solve --example $n --log"
  # A run that does not converge exits 1: say so and go on with the next.
  "$nlsolve" solve --example "$n" --log || echo "(example $n: not converged, exit status $?)"
done
picture="$build/example1.png"
echo
echo "== Picture of example 1: $nlsolve plot --example 1 --box -3:3 -o $picture"
if "$nlsolve" plot --example 1 --box -3:3 -o "$picture"; then
  echo "The picture of example 1 is in $picture"
else
  echo "(the picture of example 1 could not be drawn, exit status $?)"
fi
exit 0
