# Drives of the model on QEMU's IDE bus (ide-cd with fw-download=on): the
# kernel's ATAPI path through libata, its transfer modes, byte count limit
# and error handler, on ata_piix or ahci (qtr5.bus= on the kernel command
# line). One drive per part, each a QEMU id of its own in the drives' log:
#   flow  the whole download in libata's own transfer mode
#   pio   the same with libata forced to PIO for this drive (its force=
#         parameter), so the data crosses the byte count limit in blocks
#   hold  holds every command for 25 s after the download
#   poll  the CD-ROM driver bound and polling it every 2 s
# qtr5.cases=A,B runs only those parts.
bus=$(sed -n 's/.*qtr5\.bus=\([^ ]*\).*/\1/p' /proc/cmdline)
parts=$(sed -n 's/.*qtr5\.cases=\([^ ]*\).*/\1/p' /proc/cmdline | tr ',' ' ')
[ -n "$parts" ] || parts="flow pio hold poll"
image=/data/QTR5_ORNA.HEX

ide_drive_log
load sg
# Where each drive is: libata's port and device (ataP.DD, as its lines say).
case $bus in
  piix)
    at_flow=1.00 at_pio=1.01 at_hold=2.00 at_poll=2.01
    load libata force=$at_pio:pio4
    load ata_piix
    ;;
  ahci)
    at_flow=1.00 at_pio=2.00 at_hold=3.00 at_poll=4.00
    load libata force=$at_pio:pio4
    load ahci
    ;;
esac
echo "sg nodes: $(wait_for_sg 4)"

# drive_node PORT.DEV [CLASS]: the node (sg, or block for CLASS block) of
# the drive at libata's PORT.DEV.
drive_node() {
  local d
  for d in /sys/class/${2:-scsi_generic}/*; do
    case $(readlink -f "$d/device") in
      */ata${1%.*}/host*/target*:0:$((${1#*.}))/*) echo "${d##*/}" && return 0 ;;
    esac
  done
}

# download NAME SG: one run on the drive at /dev/SG, its output, status
# and time in /tmp/NAME.out, and when it ended (NAME-ended-at=, seconds of
# the clock of the kernel log and the drive's lines).
download() {
  local name=$1 start
  start=$(date +%s)
  timeout 120 qtr5-download --image "$image" --yes --json --device "/dev/$2" </dev/null >"/tmp/$name.out" 2>&1
  echo "$name-exit=$? elapsed=$(($(date +%s) - start))" >>"/tmp/$name.out"
  echo "$name-ended-at=$(cut -d' ' -f1 /proc/uptime)" >>"/tmp/$name.out"
}
show() { sed "s/^/$1: /" "/tmp/$1.out"; }

qtr5-download --list --json </dev/null >/tmp/list.out 2>&1
echo "list-exit=$?" >>/tmp/list.out
show list
for part in $parts; do
  part_start=$(date +%s)
  eval "at=\$at_$part"
  sg=$(drive_node "$at")
  echo "part $part: the drive at ata$at is /dev/$sg"
  log_mark=$(wc -l </tmp/drive.log)
  kernel_mark=$(dmesg | wc -l)
  case $part in
    flow | pio)
      download "$part" "$sg"
      ;;
    hold)
      # Nothing may time out, abort or reset the drive while it holds the
      # program's commands, during the run or in the 30 s after it.
      download hold "$sg"
      sleep 30
      ;;
    poll)
      # The CD-ROM driver polls the drive every 2 s (as udev sets it on
      # desktops): from the download on, only the program's commands (and
      # libata's REQUEST SENSE after a CHECK CONDITION) may reach it.
      load sr_mod
      sr=
      i=0
      until [ -n "$sr" ] || [ $i -ge 50 ]; do
        sr=$(drive_node "$at" block)
        sleep 0.2
        i=$((i + 1))
      done
      echo 2000 >"/sys/block/$sr/events_poll_msecs"
      echo "poll: $sr polled every $(cat "/sys/block/$sr/events_poll_msecs") ms"
      sleep 5
      download poll "$sg"
      echo "drive: the run ended" >>/tmp/drive.log
      sleep 5
      echo "poll-polling-after=$(cat "/sys/block/$sr/events_poll_msecs")" >>/tmp/poll.out
      ;;
  esac
  [ -f "/tmp/$part.out" ] && show "$part"
  # What reached the drives during this part, and what the kernel logged.
  tail -n +$((log_mark + 1)) /tmp/drive.log | sed "s/^/$part /"
  dmesg | tail -n +$((kernel_mark + 1)) | sed "s/^/$part kernel: /"
  echo "part $part: $(($(date +%s) - part_start)) s"
done
