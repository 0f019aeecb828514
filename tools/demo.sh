#!/usr/bin/env bash
# The main job: build the program and flash the sample firmware image into an
# emulated XPM-3177K drive, as a new user would do it on a fresh machine.
# It shows start-up, the drive scan, the tray, the image read and checksum,
# the download with its progress, the verification, the outcome with the
# drive's new revision, and the program's exit status.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

./setup.sh program

echo "== Building the program (release build in build-release/)"
log=$(mktemp)
if ! { cmake --preset release && cmake --build --preset release --target qtr5-download; } >"$log" 2>&1; then
  cat "$log"
  rm -f "$log"
  echo "The build failed." >&2
  exit 1
fi
rm -f "$log"
program="$root/build-release/qtr5-download"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp samples/QTR5_ORNA.HEX "$work/QTR5_ORNA.HEX"
cd "$work"

echo
echo "== A fresh folder holding the sample firmware as QTR5_ORNA.HEX, the image the"
echo "== program picks up by itself; the drive is emulated (--emulate), and --yes"
echo "== downloads without asking."
echo "\$ qtr5-download --emulate --yes"
set +e
"$program" --emulate --yes
status=$?
set -e
echo
echo "== Exit status: $status ($([[ $status -eq 0 ]] && echo "the drive took the new firmware" || echo "see qtr5-download --help"))"
exit "$status"
