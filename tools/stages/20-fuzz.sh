#!/usr/bin/env bash
# Fuzzes, with the address and undefined behaviour sanitizers, for a bounded
# time in all (FUZZ_SECONDS, default 90): the Intel HEX loader for two thirds
# of it, from the seed corpus in fuzz/corpus/, and the reader of recorded
# sessions (--replay) for the rest, from the shipped recordings. New inputs go
# to a scratch folder; the checked-in files are not changed. Any crash,
# sanitizer report, uncaught exception or write behind the image fails the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${FUZZ_SECONDS:-90}
hex_seconds=$((seconds * 2 / 3 > 0 ? seconds * 2 / 3 : 1))
replay_seconds=$((seconds - hex_seconds > 0 ? seconds - hex_seconds : 1))

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz-hex-loader fuzz-replay

work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)  # memory-backed when possible: one file per run
trap 'rm -rf "$work"' EXIT

# name, seconds, seed folder, further libFuzzer options...
fuzz() {
  local name=$1 time=$2 seeds=$3
  shift 3
  mkdir -p "$work/$name/corpus" "$work/$name/artifacts"
  echo "fuzzing $name for ${time} s"
  if ! TMPDIR="$work/$name" "build-fuzz/fuzz/$name" -max_total_time="$time" \
      -print_final_stats=1 -artifact_prefix="$work/$name/artifacts/" "$@" \
      "$work/$name/corpus" "$seeds" >"$work/$name/log" 2>&1; then
    tail -n 60 "$work/$name/log" >&2
    for artifact in "$work/$name"/artifacts/*; do
      [[ -e "$artifact" ]] && echo "failing input ($artifact):" >&2 && od -c "$artifact" | head -n 20 >&2
    done
    echo "$name: FAILED" >&2
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$work/$name/log" || true
  echo "$name: clean"
}

fuzz fuzz-hex-loader "$hex_seconds" fuzz/corpus -max_len=4096 -dict=fuzz/hex.dict
fuzz fuzz-replay "$replay_seconds" tests/data/recordings -max_len=16384
