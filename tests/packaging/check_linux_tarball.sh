#!/usr/bin/env bash
# The Linux tarball, as a machine without the Debian package gets it: one
# folder holding a README that names every file in it, the man page, the licence, the notices of the others'
# software in the program (the components named), and a stripped program
# that loads no shared library, names its version and flashes the emulated
# drive from a folder that holds the image.
#   check_linux_tarball.sh ARCHIVE SAMPLE LICENSE COMPONENT...
set -euo pipefail
archive=$1 sample=$2 licence=$3
shift 3
[[ -f $archive ]] || { echo "no $archive: build the target qtr5-download-archive" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tar -xzf "$archive" -C "$work"
dir=$work/$(basename "$archive" .tar.gz)
program=$dir/qtr5-download
[[ -f $dir/qtr5-download.1 ]] || { echo "no man page in the tarball" >&2; exit 1; }
# Its README names every file beside it, as its list says.
[[ -f $dir/README ]] || { echo "no README in the tarball" >&2; exit 1; }
for file in "$dir"/*; do
  name=$(basename "$file")
  [[ $name == README ]] || grep -q "^  $name " "$dir/README" ||
    { echo "the tarball's README does not name $name" >&2; exit 1; }
done
bash "$(dirname "$0")/check_notices.sh" "$licence" "$dir/LICENSE" "$dir/THIRD-PARTY-NOTICES.txt" "$@"
if readelf -S "$program" | grep -qE '\.(debug_|symtab)'; then echo "not stripped" >&2; exit 1; fi
if readelf -d "$program" | grep -q NEEDED; then echo "needs shared libraries" >&2; exit 1; fi
"$program" --version | grep -q '^QTR5 (XPM-3177K) Download Utility'
cp "$sample" "$dir/"
(cd "$dir" && QTR5_TIME_SCALE=100 ./qtr5-download --emulate --yes) | grep -qx 'Download has been done successfully!'
