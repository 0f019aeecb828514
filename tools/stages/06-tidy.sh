#!/usr/bin/env bash
# clang-tidy with the checks of .clang-tidy over the project's own code as
# the developer build compiles it (build/compile_commands.json, which the
# test command has just built: the Qt programs' generated headers are there).
# The tests are left out: the checks are about the shipped code and its
# tools. Any finding fails the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
[[ -f build/compile_commands.json ]] || { echo "tidy: build the dev preset first" >&2; exit 1; }
folders='(app|aspi|bench|discovery|download|frontends|image|program|resources|session|system|text|tools|transports|winui)'
# Headers are reached through the include roots of cmake/Layering.cmake.
run-clang-tidy -quiet -j 2 -p build -header-filter="^$root/(build/include-roots/[^/]+/)?$folders/" \
  "^$root/$folders/" \
  >build/clang-tidy.log 2>&1 || status=$?
if [[ ${status:-0} -ne 0 ]] || grep -q 'warning:\|error:' build/clang-tidy.log; then
  grep -A3 'warning:\|error:' build/clang-tidy.log | sed 's/\x1b\[[0-9;]*m//g' >&2
  echo "tidy: findings above (all of them: build/clang-tidy.log)" >&2
  exit 1
fi
echo "tidy: no findings in $(grep -cE "\"file\": \"$root/$folders/" build/compile_commands.json) files"
