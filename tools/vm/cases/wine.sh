# The Windows program under the 32-bit Wine, against the drives QEMU
# emulates, through both of its transports: Wine's ASPI layer (wnaspi32,
# which finds devices through the registry's SCSI map and sends through the
# SCSI generic driver) and SCSI pass-through (Wine's CD-ROM driver turns the
# ioctls into SG_IO), with the Linux program in the same machine alongside.
. /data/wine-guest.sh
load sg
load sr_mod
load virtio_pci
load virtio_scsi
load ata_piix
echo "sg nodes: $(wait_for_sg 3)"
ls /dev/sr*
wine_mount || { echo "wine: no Wine disk"; exit 1; }
cp /data/qtr5-download.exe /data/QTR5_ORNA.HEX /tmp/

# What Wine needs to see the drives. For pass-through: a drive letter of
# type CD-ROM on each CD-ROM device node (read when Wine's mount manager
# starts, so the server is started anew afterwards). For ASPI: the SCSI
# map, one key per generic device (host, channel, target, LUN from sysfs),
# in the volatile registry that lives as long as the server.
reg=/tmp/drives.reg
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n' >$reg
letters=defghijklm
n=0
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
wine regedit /S 'Z:\tmp\drives.reg'
wineserver -w
wineserver -p
map=""
for d in /sys/class/scsi_generic/*; do
  sg=$(basename "$d")
  address=$(basename "$(readlink -f "$d/device")")
  echo "map: $sg at $address $(cat "$d/device/model")"
  map="$map $address=/dev/$sg"
done
wine /data/wine-scsi-map.exe $map
echo "--- Wine's SCSI map"
wine reg query 'HKLM\HARDWARE\DEVICEMAP\Scsi' /s | tr -d '\r'

# wine_run NAME ARGS...: the Windows program; stdout, stderr, exit status.
wine_run() {
  local name=$1
  shift
  (cd /tmp && timeout "${limit:-240}" wine /tmp/qtr5-download.exe "$@" </dev/null >"/tmp/$name.out" 2>"/tmp/$name.err")
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
  # Wine's ASPI layer refuses each command at once, yet the scan through it
  # takes minutes under Wine (not yet examined): its run is cut short.
  limit=240
  [ $transport = aspi ] && limit=60
  wine_run $transport-list --list --json --record $transport-list.jsonl
  sed "s/^/$transport-rec: /" /tmp/$transport-list.jsonl
  # What Wine's layers did, where the drive was not found.
  if ! grep -q XPM-3177K /tmp/$transport-list.out; then
    (cd /tmp && WINEDEBUG=+aspi,+cdrom timeout 60 wine /tmp/qtr5-download.exe --list) 2>&1 | tr -d '\r' |
      grep -v '^qtr5-download' | sort | uniq -c | sort -rn | head -n 20 | sed "s/^/$transport-trace: /"
  fi
  # Where the layer sends nothing to a device, a download run proves nothing
  # more (and waits out the scan's retries at every address).
  grep -q XPM-3177K /tmp/$transport-list.out || [ $transport = spti ] || continue
  wine_run $transport-download --image 'Z:\tmp\QTR5_ORNA.HEX' --yes --record $transport.jsonl
  sed "s/^/$transport-rec: /" /tmp/$transport.jsonl
done
wineserver -k
