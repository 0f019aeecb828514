#!/usr/bin/env bash
# Times the whole-process image check against two common converters on the same
# full image (every address 0x0000-0xFEFF in 16-byte records, about 180 KB):
#   qtr5-download --check FILE
#   objcopy -I ihex -O binary --gap-fill 0xFF FILE OUT
#   srec_cat FILE -intel -fill 0xFF 0 0x10000 -o OUT -binary
# and the program's start-up alone: qtr5-download --version against /bin/true.
# Usage: bench/compare-check.sh [BUILD_DIR]   (default: build-release if it has the
# program, else build). Without qtr5-download, or with USE_DRIVER=1, the bench driver
# check-driver (the same image check in a minimal program) is timed instead.
# RUNS sets the number of timed runs per command (default 200).
# Needs hyperfine, binutils and srecord (setup.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-}
if [[ -z "$build" ]]; then
  build=build
  [[ -x build-release/qtr5-download ]] && build=build-release
fi
for tool in hyperfine objcopy srec_cat; do
  command -v "$tool" >/dev/null || { echo "compare-check: $tool is missing (run ./setup.sh)" >&2; exit 1; }
done

generator=$(find "$build" -type f -name make-sample-image -perm -u+x | head -n 1)
if [[ -z "$generator" ]]; then
  cmake --build "$build" --target make-sample-image >/dev/null
  generator=$(find "$build" -type f -name make-sample-image -perm -u+x | head -n 1)
fi
if [[ -x "$build/qtr5-download" && "${USE_DRIVER:-0}" != 1 ]]; then
  check=("$build/qtr5-download" --check)
else
  driver=$(find "$build" -type f -name check-driver -perm -u+x | head -n 1)
  if [[ -z "$driver" ]]; then
    cmake --build "$build" --target check-driver >/dev/null
    driver=$(find "$build" -type f -name check-driver -perm -u+x | head -n 1)
  fi
  echo "compare-check: timing the image check driver $driver"
  check=("$driver")
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$generator" --full "$work/full.hex"
echo "input: $(wc -c <"$work/full.hex") bytes of Intel HEX"
"${check[@]}" "$work/full.hex"

hyperfine --shell=none --warmup 10 --runs "${RUNS:-200}" --export-markdown "$work/table.md" \
  -n "qtr5 --check" "${check[*]} $work/full.hex" \
  -n "objcopy" "objcopy -I ihex -O binary --gap-fill 0xFF $work/full.hex $work/objcopy.bin" \
  -n "srec_cat" "srec_cat $work/full.hex -intel -fill 0xFF 0 0x10000 -o $work/srec.bin -binary"
cat "$work/table.md"

if [[ -x "$build/qtr5-download" ]]; then
  hyperfine --shell=none --warmup 30 --runs "${RUNS:-200}" --export-markdown "$work/start.md" \
    -n "/bin/true" "/bin/true" \
    -n "qtr5 --version" "$build/qtr5-download --version"
  cat "$work/start.md"
fi
