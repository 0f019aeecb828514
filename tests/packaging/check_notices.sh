#!/usr/bin/env bash
# A download's licence and third-party notices: the licence is the project's
# LICENSE (line ends aside), and the notices hold a section, with the Debian
# copyright file it reproduces, for each component named.
#   check_notices.sh SOURCE_LICENSE SHIPPED_LICENSE NOTICES COMPONENT...
set -euo pipefail
source_licence=$1 licence=$2 notices=$3
shift 3
[[ -f $licence ]] || { echo "no licence: $licence" >&2; exit 1; }
[[ -f $notices ]] || { echo "no third-party notices: $notices" >&2; exit 1; }
cmp -s "$source_licence" <(tr -d '\r' <"$licence") || { echo "$licence is not LICENSE" >&2; exit 1; }
text=$(tr -d '\r' <"$notices")
for component in "$@"; do
  # The section's heading, then the copyright file of its package.
  section=$(awk -v name="$component" '/^==== / { on = index($0, ". " name) > 0 } on' <<<"$text")
  [[ -n $section ]] || { echo "$notices: no section for $component" >&2; exit 1; }
  grep -q "Debian package .*; its copyright file, /usr/share/doc/" <<<"$section" ||
    { echo "$notices: no copyright file for $component" >&2; exit 1; }
done
