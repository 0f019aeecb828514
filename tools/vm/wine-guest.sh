# Inside the machine: the 32-bit Wine from the disk /dev/vda, mounted at
# /wine and linked where its programs look for their libraries. Sourced by
# the Windows cases (from /data).
export WINEPREFIX=/wine/prefix WINEARCH=win32 HOME=/tmp WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
# No fonts are needed: an empty configuration keeps fontconfig quiet.
printf '<?xml version="1.0"?>\n<fontconfig></fontconfig>\n' >/tmp/fonts.conf
export FONTCONFIG_FILE=/tmp/fonts.conf

wine_mount() {
  load virtio_pci
  load virtio_blk
  local i=0
  while [ ! -b /dev/vda ] && [ $i -lt 100 ]; do
    sleep 0.1
    i=$((i + 1))
  done
  mkdir -p /wine /lib /usr/lib /usr/share
  mount -t ext4 /dev/vda /wine || return 1
  ln -sf /wine/usr/lib/i386-linux-gnu /usr/lib/i386-linux-gnu
  ln -sf /wine/usr/lib/wine /usr/lib/wine
  ln -sf /wine/usr/share/wine /usr/share/wine
  ln -sf /usr/lib/i386-linux-gnu/ld-linux.so.2 /lib/ld-linux.so.2
  ln -sf /usr/lib/i386-linux-gnu /lib/i386-linux-gnu
  export PATH=/usr/lib/wine:$PATH
}
