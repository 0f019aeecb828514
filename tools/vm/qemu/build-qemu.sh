#!/usr/bin/env bash
# Builds QEMU's x86_64 system emulator with ide-drive.patch: an IDE CD-ROM
# (ide-cd) that, with fw-download=on, is a drive of the model that takes the
# download command (see the patch's comment in hw/ide/atapi.c). The source is
# Debian's qemu package of the installed qemu-system-x86 (apt-get source:
# needs a deb-src entry, which ./setup.sh adds); only qemu-system-x86_64 is
# built, with every optional feature off. Prints the binary's path.
#
# The binary is cached by the hash of the patch, this script and the source
# version, under QTR5_QEMU_CACHE (default /var/cache/qtr5-vm): a later run
# on the same machine does not build it again. About 5 minutes at -j2.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
version=$(dpkg-query -W -f='${source:Version}' qemu-system-x86)
key=$(cat "$here/ide-drive.patch" "$here/build-qemu.sh" <(echo "$version") | sha256sum | cut -c1-16)
cache=${QTR5_QEMU_CACHE:-/var/cache/qtr5-vm}/qemu-$key
binary=$cache/bin/qemu-system-x86_64
if [[ -x $binary ]]; then
  echo "$binary"
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qtr5-qemu.XXXXXX")
trap 'rm -rf "$work"' EXIT
log=$work/build.log
fail() {
  echo "build-qemu: $1 (last lines of $log follow)" >&2
  tail -n 20 "$log" >&2
  exit 1
}
echo "build-qemu: building qemu-system-x86_64 from Debian's qemu $version with the IDE drive of the model" >&2
(cd "$work" && apt-get source -qq --only-source "qemu=$version") >"$log" 2>&1 ||
  fail "apt-get source qemu=$version failed (no deb-src entry? ./setup.sh adds one)"
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qemu-*' | head -n 1)
patch -d "$src" -p1 --quiet <"$here/ide-drive.patch" >>"$log" 2>&1 || fail "the patch does not apply"
mkdir "$work/build"
# Firmware (SeaBIOS, the option ROM that boots -kernel) comes from the
# installed packages, where Debian's own build looks for it. QEMU finds it
# relative to its own folder (bin/../share/...): the cache holds bin/ and
# links share/ and lib/ to the system's.
(cd "$work/build" && "$src/configure" --target-list=x86_64-softmmu \
  --without-default-features --enable-fdt=system --disable-docs --disable-werror \
  --with-git-submodules=ignore --disable-install-blobs --prefix=/usr \
  --firmwarepath=/usr/share/qemu:/usr/share/seabios:/usr/lib/ipxe/qemu) >>"$log" 2>&1 ||
  fail "configure failed"
ninja -C "$work/build" -j2 qemu-system-x86_64 >>"$log" 2>&1 || fail "the build failed"
rm -rf "$cache.tmp"
mkdir -p "$cache.tmp/bin"
install -m 0755 "$work/build/qemu-system-x86_64" "$cache.tmp/bin/"
ln -s /usr/share "$cache.tmp/share"
ln -s /usr/lib "$cache.tmp/lib"
rm -rf "$cache" && mv "$cache.tmp" "$cache"
echo "$binary"
