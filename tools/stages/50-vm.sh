#!/usr/bin/env bash
# The Linux transport against a real kernel: drives emulated by QEMU.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/vm/run-vm-tests.sh build/qtr5-download
