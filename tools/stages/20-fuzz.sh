#!/usr/bin/env bash
# Fuzzes the Intel HEX loader for a bounded time (FUZZ_SECONDS, default 60) with the
# address and undefined behaviour sanitizers, starting from the seed corpus in
# fuzz/corpus/. New inputs go to a scratch folder; the checked-in corpus is not changed.
# Any crash, sanitizer report or write behind the image fails the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${FUZZ_SECONDS:-60}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz-hex-loader

work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)  # memory-backed when possible: one file per run
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/artifacts"
echo "fuzzing the HEX loader for ${seconds} s"
if ! TMPDIR="$work" build-fuzz/fuzz/fuzz-hex-loader -max_total_time="$seconds" -max_len=4096 \
    -dict=fuzz/hex.dict -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
    "$work/corpus" fuzz/corpus >"$work/log" 2>&1; then
  tail -n 60 "$work/log" >&2
  for artifact in "$work"/artifacts/*; do
    [[ -e "$artifact" ]] && echo "failing input ($artifact):" >&2 && od -c "$artifact" | head -n 20 >&2
  done
  echo "fuzz-hex-loader: FAILED" >&2
  exit 1
fi
grep -E '^(Done|stat::number_of_executed_units)' "$work/log" || true
echo "fuzz-hex-loader: clean"
