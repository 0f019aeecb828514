#!/usr/bin/env bash
# The project's own C and C++ sources are formatted as the checked-in
# .clang-format says. The files are the ones git tracks: nothing of the build
# folders, nothing generated. The project holds no third-party sources.
set -euo pipefail
cd "$(dirname "$0")/../.."
mapfile -t sources < <(git ls-files -- '*.c' '*.cpp' '*.h')
clang-format --dry-run --Werror "${sources[@]}"
echo "format: ${#sources[@]} files as .clang-format says"
