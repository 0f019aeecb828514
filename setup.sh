#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, by group:
#   ./setup.sh program    what building and running the terminal program needs
#                         (the main job, tools/demo.sh)
#   ./setup.sh            every group: the program, its tests, the desktop
#                         window, the Windows build under Wine, the virtual
#                         machine test, fuzzing, benchmarks (tools/test.sh)
# Idempotent: quiet and quick when everything is already there. Run as root.
set -euo pipefail

# The terminal program: compiler, build tools and the libraries it links.
program=(
  cmake ninja-build g++ pkg-config
  libcli11-dev nlohmann-json3-dev libsgutils2-dev
)
# Everything the tests and the other programs need on top.
tests=(
  # the format and lint stages (run-clang-tidy comes with clang-tidy)
  clang-format clang-tidy
  libgtest-dev libgmock-dev libbenchmark-dev
  # desktop window; Qt's private headers let a window test turn accessibility
  # on without a screen reader (as Qt's own tests do)
  qt6-base-dev qt6-base-private-dev fonts-dejavu-core
  # fuzzing (clang with its sanitizer runtimes)
  clang libclang-rt-14-dev
  # benchmarks: whole-process comparisons
  binutils srecord hyperfine time bc
  # screenshots and window tests
  xvfb xauth imagemagick tmux fonts-wine fonts-liberation icewm
  # the Windows program (32-bit), built and tested under Wine; libwine:i386
  # holds the 32-bit Wine the virtual machine test runs it with
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 libwine:i386
  # the virtual machine test of the Linux transport
  qemu-system-x86 busybox-static cpio sg3-utils
  # its IDE drive of the model: QEMU built from Debian's source with a patch
  # (tools/vm/qemu/build-qemu.sh: apt-get source, configure, ninja)
  dpkg-dev meson libglib2.0-dev libpixman-1-dev libfdt-dev
  # the README's fleet example, run against this machine
  ansible-core
)

packages=()
groups=("$@")
[[ ${#groups[@]} -eq 0 ]] && groups=(program tests)
for group in "${groups[@]}"; do
  case "$group" in
    program) packages+=("${program[@]}") ;;
    tests) packages+=("${program[@]}" "${tests[@]}") ;;
    *)
      echo "setup.sh: unknown group '$group' (expected: program, tests)" >&2
      exit 2
      ;;
  esac
done

# The 32-bit Wine loader (wine32) only where this machine's kernel runs
# 32-bit Linux programs: elsewhere Debian's `wine` would pick it and fail on
# every program. libwine:i386 brings the C library it needs to find out.
if [[ " ${packages[*]} " == *" libwine:i386 "* && -x /lib/ld-linux.so.2 ]] &&
  /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
  packages+=(wine32:i386)
fi

# The test build of QEMU fetches Debian's qemu source: a deb-src entry for
# every Debian suite the machine's package entries name.
need_update=0
if [[ " ${groups[*]} " == *" tests "* ]] &&
  ! grep -rqs -E '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup.sh: no deb-src entry for Debian's source packages; run it as root to add one" >&2
    exit 1
  fi
  if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    sed 's/^Types: .*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      >/etc/apt/sources.list.d/qtr5-debian-src.sources
  fi
  if [[ -f /etc/apt/sources.list ]] && grep -q '^deb ' /etc/apt/sources.list; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >/etc/apt/sources.list.d/qtr5-debian-src.list
  fi
  echo "setup.sh: added a deb-src entry for Debian's source packages"
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -eq 0 ]]; then
  [[ $need_update -eq 0 ]] || apt-get update -qq
  exit 0
fi
# A package named by two groups is installed once.
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | awk '!seen[$0]++')

if [[ $(id -u) -ne 0 ]]; then
  echo "setup.sh: missing packages: ${missing[*]}" >&2
  echo "setup.sh: run it as root (or: sudo ./setup.sh ${groups[*]}) to install them" >&2
  exit 1
fi
echo "setup.sh: installing ${#missing[@]} package(s): ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# libwine is a package of the i386 architecture.
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup.sh: done"
