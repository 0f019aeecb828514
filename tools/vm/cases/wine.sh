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
# QEMU's IDE drive of the model (qtr5.ide-drive=on), on the first IDE
# channel (ata1): out of the kernel's view until its own part at the end, so
# that the parts before see the drives they always saw.
ide_host=
if grep -q 'qtr5.ide-drive=on' /proc/cmdline; then
  ide_drive_log
  wait_for_sg 4 >/dev/null
  for d in /sys/class/scsi_device/*; do
    case $(readlink -f "$d/device") in
      */ata1/*) ide_host=${d##*/} && echo 1 >"$d/device/delete" ;;
    esac
  done
  echo "ide: the drive at $ide_host leaves the kernel until its part"
  ide_host=${ide_host%%:*}
fi
echo "sg nodes: $(wait_for_sg 3)"
ls /dev/sr*
wine_mount || { echo "wine: no Wine disk"; exit 1; }
cp /data/qtr5-download.exe /data/QTR5_ORNA.HEX /tmp/

# What Wine needs to see the drives. For pass-through: a drive letter of
# type CD-ROM on each CD-ROM device node (read when Wine's mount manager
# starts, so the server is started anew afterwards). For ASPI: the SCSI
# map, one key per generic device (host, channel, target, LUN from sysfs),
# in the volatile registry that lives as long as the server (kept running).
#
# wine_letters: a letter of type CD-ROM on each CD-ROM device node now
# present, from D: on (the letters of an earlier call are taken away).
letters=defghijklm
wine_letters() {
  local reg=/tmp/drives.reg n=0 sr letter
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n' >$reg
  for letter in d e f g h i j k l m; do
    rm -f "$WINEPREFIX/dosdevices/$letter::" "$WINEPREFIX/dosdevices/$letter:"
    printf '"%s:"=-\n' "$letter" >>$reg
  done
  for sr in /dev/sr*; do
    [ -b "$sr" ] || continue
    letter=$(echo $letters | cut -c$((n + 1)))
    ln -sf "$sr" "$WINEPREFIX/dosdevices/$letter::"
    mkdir -p "/tmp/cd$n"
    ln -sf "/tmp/cd$n" "$WINEPREFIX/dosdevices/$letter:"
    printf '"%s:"="cdrom"\n' "$letter" >>$reg
    echo "${letter_prefix:-}letter: $letter: $sr $(basename "$(readlink -f "/sys/class/block/${sr#/dev/}/device")")"
    n=$((n + 1))
  done
  wine regedit /S 'Z:\tmp\drives.reg'
  wineserver -w
}
wine_letters
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
# The address Wine's CD-ROM driver gives each letter (IOCTL_SCSI_GET_ADDRESS).
wine /data/wine-scsi-map.exe --addresses | tr -d '\r'

# wine_run NAME ARGS...: the Windows program; stdout, stderr, exit status.
wine_run() {
  local name=$1
  shift
  local start
  start=$(date +%s)
  (cd /tmp && WINEDEBUG=${wine_debug:-$WINEDEBUG} timeout "${limit:-240}" wine /tmp/qtr5-download.exe "$@" \
    </dev/null >"/tmp/$name.out" 2>"/tmp/$name.err")
  echo "$name-exit=$?"
  echo "$name-elapsed=$(($(date +%s) - start))"
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
  # Wine's ASPI layer refuses each command at once: its scan ends within
  # seconds, or something waits where it should not. Its trace tells what
  # the layer did with the commands.
  limit=240
  wine_debug=
  [ $transport = aspi ] && limit=60 wine_debug=-all,+aspi
  wine_run $transport-list --list --json --record $transport-list.jsonl
  wine_debug=
  sed "s/^/$transport-rec: /" /tmp/$transport-list.jsonl
  # What Wine's CD-ROM driver did, where pass-through found no drive.
  if [ $transport = spti ] && ! grep -q XPM-3177K /tmp/$transport-list.out; then
    start=$(date +%s)
    (cd /tmp && WINEDEBUG=+aspi,+cdrom timeout 60 wine /tmp/qtr5-download.exe --list) 2>&1 | tr -d '\r' |
      grep -v '^qtr5-download' | sort | uniq -c | sort -rn | head -n 20 | sed "s/^/$transport-trace: /"
    echo "$transport-trace-elapsed=$(($(date +%s) - start))"
  fi
  # Where the layer sends nothing to a device, a download run proves nothing
  # more.
  grep -q XPM-3177K /tmp/$transport-list.out || [ $transport = spti ] || continue
  wine_run $transport-download --image 'Z:\tmp\QTR5_ORNA.HEX' --yes --record $transport.jsonl
  sed "s/^/$transport-rec: /" /tmp/$transport.jsonl
done

# The user-space drive that takes the download, where the machine has it:
# QEMU's drive of the model leaves the kernel and the user drive takes its
# place on a SCSI host of its own (the loopback target), with a CD-ROM node
# of its own; the Linux program, then the Windows program under Wine
# (pass-through, on the drive's letter) run the whole flow on it, each on a
# drive started afresh; then the Windows program once more on a drive that
# holds every command for 25 s after the download (the target layer waits
# for its answers as long).
#
# model_drive_swap PREFIX COMMAND...: the drives of the model leave the
# kernel (Wine's server stopped first) and COMMAND brings the next one; once
# its CD-ROM node is there, every node gets its letter anew (the lines with
# PREFIX) and the server starts again: a server kept running spares each run
# Wine's start of its services (about a minute in the machine).
model_drive_swap() {
  local d i=0
  wineserver -k
  for d in /sys/class/scsi_generic/*; do
    grep -q XPM-3177K "$d/device/model" && echo 1 >"$d/device/delete"
  done
  letter_prefix=$1
  shift
  "$@"
  until grep -qs XPM-3177K /sys/class/block/sr*/device/model || [ $i -ge 50 ]; do
    sleep 0.2
    i=$((i + 1))
  done
  wine_letters
  wineserver -p
}
if command -v qtr5-vm-user-drive >/dev/null; then
  DRIVE_COMMAND_TIMEOUT=600
  model_drive_swap success- drive_start --busy 3000
  wine /data/wine-scsi-map.exe --addresses | tr -d '\r' | sed 's/^/success-/'
  qtr5-download --image /data/QTR5_ORNA.HEX --yes </dev/null >/tmp/linux-success.out 2>&1
  echo "linux-success-exit=$?"
  sed 's/^/linux-success-out: /' /tmp/linux-success.out
  drive_run --busy 3000
  mark=$(wc -l </tmp/drive.log)
  wine_run spti-success --image 'Z:\tmp\QTR5_ORNA.HEX' --yes --record spti-success.jsonl
  sed "s/^/spti-success-rec: /" /tmp/spti-success.jsonl
  tail -n +$((mark + 1)) /tmp/drive.log | sed 's/^/spti-success /'
  # Nothing may abort or reset the drive, during the run or in the 30 s
  # after it.
  drive_run --busy 0 --hold-after-download 25000
  mark=$(wc -l </tmp/drive.log)
  kernel_mark=$(dmesg | wc -l)
  wine_run spti-hold --image 'Z:\tmp\QTR5_ORNA.HEX' --yes
  sleep 30
  tail -n +$((mark + 1)) /tmp/drive.log | sed 's/^/spti-hold /'
  dmesg | tail -n +$((kernel_mark + 1)) | sed 's/^/spti-hold kernel: /'
fi

# The IDE drive of the model: the other drives of the model leave the
# kernel, the IDE drive comes back (libata probes it anew) with a letter of
# its own, and the Windows program flashes it through pass-through: Wine's
# SG_IO reaches it as an ATAPI packet through libata.
ide_rescan() { echo "0 0 0" >"/sys/class/scsi_host/host$ide_host/scan"; }
if [ -n "$ide_host" ]; then
  model_drive_swap ide- ide_rescan
  mark=$(wc -l </tmp/drive.log)
  wine_run spti-ide --image 'Z:\tmp\QTR5_ORNA.HEX' --yes
  tail -n +$((mark + 1)) /tmp/drive.log | sed 's/^/spti-ide /'
fi
wineserver -k
