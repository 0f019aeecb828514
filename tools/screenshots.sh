#!/usr/bin/env bash
# Takes the screenshots of the desktop window for the documentation: the main
# window at start, while downloading, after "OK!" (with the reboot notice) and
# "NG!", with no drive, and the Select Device, Release Note and
# image-not-found windows. Runs the program on the emulated drive under Xvfb
# with a window manager (openbox), so the title bars are in the pictures.
# Usage: tools/screenshots.sh [BUILD_DIR]   (default: build/, configured by
# the dev preset). Writes docs/screenshots/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=docs/screenshots

for tool in xvfb-run openbox; do
  command -v "$tool" >/dev/null || { echo "screenshots.sh: $tool is missing (run ./setup.sh)" >&2; exit 1; }
done
[[ -f "$build/CMakeCache.txt" ]] || cmake --preset dev -B "$build" >/dev/null
cmake --build "$build" --target qt_screenshots >/dev/null
shots=(start downloading ok ok-notice ng no-device select-device release-note image-not-found)
mkdir -p "$out"
for shot in "${shots[@]}"; do rm -f "$out/$shot.png"; done

export QTR5_SCREENSHOT_DIR=$PWD/$out QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
# One X display for the whole run; the window manager starts first.
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash -c '
  openbox --sm-disable >/dev/null 2>&1 &
  wm=$!
  sleep 1
  status=0
  "$0" --gtest_brief=1 || status=$?
  kill "$wm" 2>/dev/null || true
  exit $status
' "$PWD/$build/tests/qt/qt_screenshots"
for shot in "${shots[@]}"; do
  [[ -s "$out/$shot.png" ]] || { echo "screenshots.sh: $out/$shot.png was not made" >&2; exit 1; }
  echo "$out/$shot.png"
done
