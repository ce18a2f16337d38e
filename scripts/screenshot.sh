#!/usr/bin/env bash
# Screenshots of the main window under a virtual X server: window.png after
# example 4 is double-clicked, window-after-go.png after Go was pressed.
# Usage: scripts/screenshot.sh BUILD_DIR [OUTPUT_DIR]
set -euo pipefail

build="${1:-build}"
out="${2:-.}"
binary="$build/app/nlsolver"
example=4

if [ ! -x "$binary" ]; then
  echo "screenshot: $binary not found; build it first (make build)" >&2
  exit 1
fi
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "screenshot: xvfb-run is missing; run scripts/install-deps.sh" >&2
  exit 1
fi
mkdir -p "$out"

# 96 dots per inch, so a pixel is 15 twips and point sizes come out as laid out.
NLSOLVER_DEMO="$example" \
NLSOLVER_SCREENSHOT="$out/window.png" \
NLSOLVER_SCREENSHOT_AFTER_GO="$out/window-after-go.png" \
QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$binary"
