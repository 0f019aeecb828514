# The Windows program under the 32-bit Wine, against the drives QEMU
# emulates, through both of its transports: Wine's ASPI layer (wnaspi32,
# which finds devices through the registry's SCSI map and sends through the
# SCSI generic driver) and SCSI pass-through (Wine's CD-ROM driver turns the
# ioctls into SG_IO), with the Linux program in the same machine alongside.
. /data/wine-guest.sh
load sg
load virtio_pci
load virtio_scsi
load ata_piix
echo "sg nodes: $(wait_for_sg 3)"
wine_mount || { echo "wine: no Wine disk"; exit 1; }
cp /data/qtr5-download.exe /data/QTR5_ORNA.HEX /tmp/

# What Wine needs to see the drives: the SCSI map for ASPI, one key per
# generic device (host, channel, target, LUN from sysfs), and for
# pass-through a drive letter of type CD-ROM on each CD-ROM device node.
reg=/tmp/drives.reg
printf 'REGEDIT4\n\n' >$reg
letters=defghijklm
n=0
for d in /sys/class/scsi_generic/*; do
  sg=$(basename "$d")
  set -- $(basename "$(readlink -f "$d/device")" | tr ':' ' ')
  echo "map: $sg at $1:$2:$3:$4 $(cat "$d/device/model")"
  printf '[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port %s\\Scsi Bus %s\\Target Id %s\\Logical Unit Id %s]\n"UnixDeviceName"="/dev/%s"\n\n' \
    "$1" "$2" "$3" "$4" "$sg" >>$reg
done
printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n' >>$reg
for sr in /dev/sr*; do
  [ -b "$sr" ] || continue
  letter=$(echo $letters | cut -c$((n + 1)))
  ln -sf "$sr" "$WINEPREFIX/dosdevices/$letter::"
  mkdir -p "/tmp/cd$n"
  ln -sf "/tmp/cd$n" "$WINEPREFIX/dosdevices/$letter:"
  printf '"%s:"="cdrom"\n' "$letter" >>$reg
  echo "letter: $letter: $sr"
  n=$((n + 1))
done
# One server for the whole case: the map is in the volatile part of the
# registry, which lives as long as the server.
wineserver -p
wine regedit /S 'Z:\tmp\drives.reg'
echo "--- Wine's SCSI map"
wine reg query 'HKLM\HARDWARE\DEVICEMAP\Scsi' /s | tr -d '\r'

# wine_run NAME ARGS...: the Windows program; stdout, stderr, exit status.
wine_run() {
  local name=$1
  shift
  (cd /tmp && wine /tmp/qtr5-download.exe "$@" </dev/null >"/tmp/$name.out" 2>"/tmp/$name.err")
  echo "$name-exit=$?"
  tr -d '\r' <"/tmp/$name.out" | sed "s/^/$name-out: /"
  tr -d '\r' <"/tmp/$name.err" | sed "s/^/$name-err: /"
}
# The Linux program on the same drives, for its exit statuses.
qtr5-download --list --json </dev/null >/tmp/linux-list.out 2>/dev/null
echo "linux-list-exit=$?"
sed 's/^/linux-list-out: /' /tmp/linux-list.out
qtr5-download --image /data/QTR5_ORNA.HEX --yes </dev/null >/dev/null 2>&1
echo "linux-download-exit=$?"

for transport in aspi spti; do
  if [ $transport = spti ]; then
    # Without Wine's ASPI layer the program uses pass-through.
    export WINEDLLOVERRIDES="mscoree,mshtml=;wnaspi32=d"
  fi
  wine_run $transport-list --list --json
  wine_run $transport-download --image QTR5_ORNA.HEX --yes --record $transport.jsonl
  sed "s/^/$transport-rec: /" /tmp/$transport.jsonl
done
wineserver -k
