#!/usr/bin/env bash
# Fails on an include against the direction of tools/layering.txt.
#
#   tools/check-layering.sh [ROOT]    checks every "#include "folder/file.h""
#                                     of the folders the table lists (ROOT: the
#                                     source tree, default the one holding this
#                                     script)
#   tools/check-layering.sh --self-test
#                                     shows that an upward include fails: a
#                                     scratch tree with the real table and one
#                                     file of image/ that includes app/
#
# A file belongs to the longest folder of the table its path starts with; an
# include of a header with no folder in its name is of the file's own folder.
# An include is accepted when its folder is the file's own or one the file's
# folder may reach through the table.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [[ "${1:-}" == "--self-test" ]]; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  mkdir -p "$scratch/tools" "$scratch/image" "$scratch/app"
  cp "$here/layering.txt" "$scratch/tools/"
  printf '#pragma once\n' >"$scratch/app/download_app.h"
  printf '#include "app/download_app.h"\n#include "image/hex_loader.h"\n' >"$scratch/image/hex_loader.cpp"
  printf '#include "image/hex_loader.h"\n' >"$scratch/app/entry.cpp"
  status=0
  output=$(bash "$here/check-layering.sh" "$scratch" 2>&1) || status=$?
  if [[ $status -eq 1 && $output == *'image/hex_loader.cpp:1: includes "app/download_app.h"'* &&
        $output != *entry.cpp* ]]; then
    echo "self-test: the upward include was refused, the downward one accepted"
    exit 0
  fi
  echo "self-test FAILED: status $status, output:" >&2
  echo "$output" >&2
  exit 2
fi

root=$(cd "${1:-$here/..}" && pwd)
table=$root/tools/layering.txt
[[ -f $table ]] || { echo "no table: $table" >&2; exit 2; }

cd "$root"
# Every quoted include with a folder in its name, as file:line:header.
find . -path ./build\* -prune -o -path ./.git -prune -o \
  -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print |
  sed 's#^\./##' | sort |
  xargs -r grep -nH -E '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"]*/[^"]*"' |
  awk -v table="$table" '
    function owner(path,    best, f) {
      best = ""
      for (f in deps) {
        if (index(path, f "/") == 1 && length(f) > length(best)) best = f
      }
      return best
    }
    BEGIN {
      while ((getline line < table) > 0) {
        sub(/#.*/, "", line)
        if (line !~ /:/) continue
        split(line, parts, ":")
        folder = parts[1]; gsub(/[[:space:]]/, "", folder)
        deps[folder] = parts[2]
      }
      # What each folder may reach: its own folder and, repeatedly, what
      # the folders it names may reach.
      for (f in deps) reach[f, f] = 1
      for (f in deps) {
        n = split(deps[f], list, /[[:space:]]+/)
        for (i = 1; i <= n; i++) if (list[i] != "") {
          if (!(list[i] in deps)) { print table ": " f " names " list[i] ", which the table does not list"; bad = 1 }
          reach[f, list[i]] = 1
        }
      }
      do {
        changed = 0
        for (a in deps) for (b in deps) if ((a, b) in reach) for (c in deps)
          if (((b, c) in reach) && !((a, c) in reach)) { reach[a, c] = 1; changed = 1 }
      } while (changed)
    }
    {
      split($0, parts, ":")
      file = parts[1]; lineno = parts[2]
      header = $0; sub(/^[^"]*"/, "", header); sub(/".*$/, "", header)
      from = owner(file)
      if (from == "") next
      to = owner(header)
      allowed = from
      for (f in deps) if (f != from && ((from, f) in reach)) allowed = allowed " " f
      if (to == "") {
        top = header; sub(/\/.*/, "", top)
        # A folder of the source tree the table does not list (tests/, tools/...).
        if (system("test -d \"" top "\"") == 0) {
          print file ":" lineno ": includes \"" header "\", which is in no layer: " from " may include only " allowed
          bad = 1
        }
        next
      }
      if (!((from, to) in reach)) {
        print file ":" lineno ": includes \"" header "\" (" to "), against the direction: " from " may include only " allowed
        bad = 1
      }
    }
    END { exit bad ? 1 : 0 }'
