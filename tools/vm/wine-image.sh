#!/usr/bin/env bash
# The disk the virtual machine runs the Windows program from: the 32-bit
# Wine of Debian's packages (its loader and server from the wine32 package,
# unpacked, never installed; its libraries and every 32-bit library from this
# machine's /usr/lib/i386-linux-gnu) and a Wine prefix, on an ext4 image
# that the guest mounts from a virtio disk. The prefix is made by the 32-bit
# Wine itself, so in the guest on the first boot (this machine's kernel may
# run no 32-bit programs); the finished image is kept in the cache, keyed on
# the Wine version and these scripts. Sourced by run-vm-tests.sh.

# vm_wine_image CACHE_DIR: sets VM_WINE_IMAGE, or returns 1 saying why not.
# The cache outlives the work tree (a fresh clone in CI reuses it).
vm_wine_image() {
  local cache=$1 here version key stage deb
  here=$(dirname "${BASH_SOURCE[0]}")
  version=$(dpkg-query -W -f='${Version}' libwine:i386 2>/dev/null || true)
  if [[ -z $version || ! -d /usr/lib/i386-linux-gnu/wine ]]; then
    echo "vm: the 32-bit Wine is not installed (libwine:i386; ./setup.sh installs it)" >&2
    return 1
  fi
  key=$(cat "$here/wine-image.sh" "$here/cases/wine-prefix.sh" |
    sha256sum | cut -c1-12)
  VM_WINE_IMAGE=$cache/wine-$version-$key.img
  [[ -f $VM_WINE_IMAGE ]] && return 0
  rm -f "$cache"/wine-*.img
  mkdir -p "$cache"
  stage=$(mktemp -d)
  # The loader and the server: the wine32 package, unpacked.
  (cd "$stage" && apt-get download "wine32:i386=$version" >/dev/null 2>&1) || {
    echo "vm: apt-get download wine32:i386=$version failed" >&2
    rm -rf "$stage"
    return 1
  }
  deb=$(ls "$stage"/wine32_*.deb)
  dpkg-deb -x "$deb" "$stage/root"
  rm -f "$deb"
  mkdir -p "$stage/root/usr/lib" "$stage/root/usr/share" "$stage/root/prefix"
  # The loader starts the server found beside it.
  ln -s wineserver32 "$stage/root/usr/lib/wine/wineserver"
  cp -a /usr/lib/i386-linux-gnu "$stage/root/usr/lib/"
  cp -a /usr/share/wine "$stage/root/usr/share/"
  local size_mb
  # Room for the prefix (about 400 MiB of Windows files) and more.
  size_mb=$(($(du -sm "$stage/root" | cut -f1) * 12 / 10 + 1200))
  mke2fs -q -t ext4 -L qtr5-wine -d "$stage/root" "$VM_WINE_IMAGE.tmp" "${size_mb}M" || {
    rm -rf "$stage" "$VM_WINE_IMAGE.tmp"
    return 1
  }
  rm -rf "$stage"
  # The prefix, made in the machine on the image itself.
  local log=$cache/wine-prefix.log initrd=$cache/wine-prefix.cpio.gz
  vm_build_initramfs "$initrd" /bin/true "$here/cases/wine-prefix.sh" "$here/wine-guest.sh"
  VM_MEMORY=1536 vm_boot "$initrd" "$log" 900 \
    -drive "file=$VM_WINE_IMAGE.tmp,format=raw,if=virtio"
  if ! grep -q 'wine-prefix=ready' "$log"; then
    echo "vm: the Wine prefix could not be made in the machine ($log):" >&2
    tail -n 30 "$log" >&2
    rm -f "$VM_WINE_IMAGE.tmp"
    return 1
  fi
  mv "$VM_WINE_IMAGE.tmp" "$VM_WINE_IMAGE"
}
