#!/usr/bin/env bash
# Takes the screenshots of the desktop window for the documentation: the main
# window at start, during the start-up scan, while downloading, while it waits
# for a busy drive, after
# "OK!" (with the reboot notice), "NG!", "Flash Again!" and "Not Confirmed"
# (each with the box that says why), with
# no drive, and the Select Device, Release Note and image-not-found windows;
# then the waiting window again at QT_SCALE_FACTOR=2 on the same 1024x768
# screen (waiting-scale2.png), where the window is drawn smaller to fit with
# its frame. Runs the program on the emulated drive, with the
# repository's sample image samples/QTR5_ORNA.HEX as its default image, under
# Xvfb with a window manager (IceWM with its Windows 95 theme, which draws
# only the title-bar buttons a window asks for), so the title bars are in the
# pictures.
# Usage: tools/screenshots.sh [BUILD_DIR]   (default: build/, configured by
# the dev preset). Writes docs/screenshots/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=docs/screenshots
sample=$PWD/samples/QTR5_ORNA.HEX

for tool in xvfb-run icewm; do
  command -v "$tool" >/dev/null || { echo "screenshots.sh: $tool is missing (run ./setup.sh)" >&2; exit 1; }
done
[[ -s "$sample" ]] || { echo "screenshots.sh: $sample is missing" >&2; exit 1; }
[[ -f "$build/CMakeCache.txt" ]] || cmake --preset dev -B "$build" >/dev/null
cmake --build "$build" --target qt_screenshots >/dev/null
shots=(start searching downloading waiting ok ok-notice ng ng-why incomplete incomplete-why unconfirmed
  unconfirmed-why no-device no-device-why select-device
  release-note image-not-found close-while-downloading waiting-scale2)
mkdir -p "$out"
for shot in "${shots[@]}"; do rm -f "$out/$shot.png"; done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The window manager's settings of its own, whatever the user's are: the
# Windows 95 look, no task bar.
mkdir -p "$scratch/icewm"
echo 'Theme="win95/default.theme"' >"$scratch/icewm/theme"
echo 'ShowTaskBar=0' >"$scratch/icewm/preferences"

export QTR5_SCREENSHOT_DIR=$PWD/$out QTR5_SAMPLE_IMAGE=$sample QT_QPA_PLATFORM=xcb
export ICEWM_PRIVCFG=$scratch/icewm XDG_RUNTIME_DIR=$scratch
# One X display for the whole run; the window manager starts first.
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash -c '
  icewm >/dev/null 2>&1 &
  wm=$!
  sleep 1
  status=0
  "$0" --gtest_brief=1 || status=$?
  kill "$wm" 2>/dev/null || true
  exit $status
' "$PWD/$build/tests/qt/qt_screenshots"
# The window on a screen too small for it: twice the scale, same screen.
mkdir -p "$scratch/scale2"
QT_SCALE_FACTOR=2 QTR5_SCREENSHOT_DIR=$scratch/scale2 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  bash -c '
  icewm >/dev/null 2>&1 &
  wm=$!
  sleep 1
  status=0
  "$0" --gtest_brief=1 --gtest_filter=Screenshots.WaitingForABusyDrive || status=$?
  kill "$wm" 2>/dev/null || true
  exit $status
' "$PWD/$build/tests/qt/qt_screenshots"
[[ -s "$scratch/scale2/waiting.png" ]] && cp "$scratch/scale2/waiting.png" "$out/waiting-scale2.png"
for shot in "${shots[@]}"; do
  [[ -s "$out/$shot.png" ]] || { echo "screenshots.sh: $out/$shot.png was not made" >&2; exit 1; }
  echo "$out/$shot.png"
done
