#!/usr/bin/env bash
# Builds everything and runs every test suite: the developer build and its
# tests first, then each further stage in tools/stages/ (sanitizers, fuzzing,
# the Windows program under Wine, the virtual machine test), in name order.
# Stops at the first stage that fails.
set -euo pipefail
cd "$(dirname "$0")/.."

./setup.sh

echo "== developer build (build/) and its tests"
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev -j2

for stage in tools/stages/*.sh; do
  [[ -e "$stage" ]] || continue
  echo "== stage $(basename "$stage" .sh)"
  bash "$stage"
done
echo "== all stages passed"
