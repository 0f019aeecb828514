#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run.
# Idempotent: quiet and quick when everything is already there. Run as root.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang-format
  # libraries
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev libsgutils2-dev
  # desktop window
  qt6-base-dev fonts-dejavu-core
  # fuzzing (clang with its sanitizer runtimes)
  clang libclang-rt-14-dev
  # benchmarks: whole-process comparisons
  binutils srecord hyperfine
  # screenshots and window tests
  xvfb xauth imagemagick tmux fonts-wine fonts-liberation icewm
  # the Windows program, built and tested under Wine
  g++-mingw-w64-x86-64 mingw-w64-tools wine wine64
  # the virtual machine test of the Linux transport
  qemu-system-x86 busybox-static cpio sg3-utils
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  echo "setup.sh: missing packages: ${missing[*]}" >&2
  echo "setup.sh: run it as root (or: sudo ./setup.sh) to install them" >&2
  exit 1
fi
echo "setup.sh: installing ${#missing[@]} package(s): ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup.sh: done"
