#!/usr/bin/env bash
# The Debian package cpack makes from this build: its copyright file gives
# the project's code the MIT licence (the text of LICENSE) and names the
# others' software; THIRD-PARTY-NOTICES.txt beside it holds their notices.
#   check_debian_package.sh BUILD_DIR SOURCE_DIR COMPONENT...
set -euo pipefail
build=$1 source=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }
dpkg-deb -x "$work"/out/*.deb "$work/root"
doc=$work/root/usr/share/doc/qtr5-download
copyright=$doc/copyright
[[ -f $copyright ]] || { echo "no copyright file in the package" >&2; exit 1; }
grep -qx 'Files: \*' "$copyright" && grep -qx 'License: MIT' "$copyright" &&
  grep -qx 'Copyright: 2026 The qtr5-download authors' "$copyright" ||
  { echo "the copyright file does not give the project's code the MIT licence" >&2; exit 1; }
# The last paragraph holds the licence: its indentation and empty-line dots taken off.
tac "$copyright" | sed '/^License: MIT$/q' | tac | tail -n +2 | sed 's/^ //; s/^\.$//' >"$work/LICENSE"
for component in "$@"; do
  grep -q "^ $component.*: " "$copyright" || { echo "the copyright file does not name $component" >&2; exit 1; }
done
bash "$here/check_notices.sh" "$source/LICENSE" "$work/LICENSE" "$doc/THIRD-PARTY-NOTICES.txt" "$@"
