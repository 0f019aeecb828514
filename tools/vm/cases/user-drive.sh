# The drive of the model in user space behind the kernel's loopback target:
# the whole download through a real kernel, and what the program does when
# the drive stays busy, vanishes or is removed, raises a unit attention, is
# asked by a second copy during the download, holds every command while it
# reprograms itself (within the program's window and past it), or is polled
# by the CD-ROM driver. One boot; each part restarts the drive.
# qtr5.cases=A,B on the kernel command line runs only those parts.
parts=$(sed -n 's/.*qtr5\.cases=\([^ ]*\).*/\1/p' /proc/cmdline | tr ',' ' ')
[ -n "$parts" ] || parts="success unit-attention busy silent hold sr-poll hold-past removed host-busy"
image=/data/QTR5_ORNA.HEX

# download NAME [OPTION...]: one run of the program, its output, status and
# time in /tmp/NAME.out, and when it ended (NAME-ended-at=, seconds of the
# clock of the kernel log and the drive's lines); a run that hangs is ended
# after $limit s (90).
download() {
  local name=$1 start
  shift
  start=$(date +%s)
  timeout "${limit:-90}" qtr5-download --image "$image" --yes "$@" </dev/null >"/tmp/$name.out" 2>&1
  echo "$name-exit=$? elapsed=$(($(date +%s) - start))" >>"/tmp/$name.out"
  echo "$name-ended-at=$(cut -d' ' -f1 /proc/uptime)" >>"/tmp/$name.out"
}
show() { sed "s/^/$1: /" "/tmp/$1.out"; }

drive_start
for part in $parts; do
  part_start=$(date +%s)
  # A drive that holds commands needs the target layer to wait as long.
  case $part in
    hold | hold-past) drive_command_timeout 600 ;;
    host-busy) ;;
    *) drive_command_timeout 3 ;;
  esac
  log_mark=$(wc -l </tmp/drive.log)
  kernel_mark=$(dmesg | wc -l)
  case $part in
    success)
      # A second copy started while the first reprograms the drive.
      drive_run --busy 3000
      download success &
      first=$!
      drive_wait_for "download taken" 60 && download second
      wait $first
      show success
      show second
      ;;
    unit-attention)
      drive_run --unit-attention --busy 1000
      download unit-attention
      show unit-attention
      ;;
    busy)
      # NOT READY (operation in progress) for 20 s after the download: far
      # past the four INQUIRY attempts, well inside the window.
      drive_run --busy 20000
      download busy
      show busy
      ;;
    silent)
      # Answers the first INQUIRY after the download (busy), then stops
      # answering during the settle wait.
      drive_run --busy 20000 --vanish 1
      download silent
      show silent
      ;;
    removed)
      # The LUN goes away during the progress display.
      drive_run --busy 1000
      download removed &
      first=$!
      drive_wait_for "download taken" 60 && drive_remove && echo "removed: LUN removed"
      wait $first
      show removed
      ;;
    hold)
      # Every command held for 25 s after the download, as a drive that
      # rewrites its firmware may: nothing may abort or reset it, during the
      # run or in the 30 s after it.
      drive_run --busy 0 --hold-after-download 25000
      download hold
      sleep 30
      show hold
      ;;
    hold-past)
      # Held past the window's limit (330 s after the download): the run
      # ends on its own by the limit plus its grace, unconfirmed. Then the
      # drive is started anew, which answers the command still held.
      drive_run --busy 0 --hold-after-download 330000
      limit=400
      download hold-past --json
      limit=90
      show hold-past
      drive_run --busy 0
      ;;
    sr-poll)
      # The CD-ROM driver bound and polling the drive every 2 s (as udev
      # sets it on desktops): from the download on, only the program's
      # commands may reach the drive; the polling is back afterwards. The
      # driver goes away again, for the parts after this one.
      load sr_mod
      sr=
      i=0
      until [ -n "$sr" ] || [ $i -ge 50 ]; do
        sr=$(grep -l XPM-3177K /sys/class/block/sr*/device/model 2>/dev/null | head -n 1 | cut -d/ -f5)
        sleep 0.2
        i=$((i + 1))
      done
      echo 2000 >"/sys/block/$sr/events_poll_msecs"
      echo "sr-poll: $sr polled every $(cat "/sys/block/$sr/events_poll_msecs") ms"
      drive_run --busy 10000
      download sr-poll
      echo "drive: the run ended" >>/tmp/drive.log
      sleep 5
      echo "sr-poll-polling-after=$(cat "/sys/block/$sr/events_poll_msecs")" >>/tmp/sr-poll.out
      show sr-poll
      rmmod sr_mod
      ;;
    host-busy)
      # A host that answers "busy" to every command has them requeued by the
      # kernel past any timeout: the program's own deadline must end the run.
      # scsi_debug named as the model, alone once the user drive is gone.
      [ -d "$drive_lun" ] && drive_remove
      load scsi_debug ptype=5 inq_vendor=QTR5 inq_product=DVDROM-XPM-3177K inq_rev=1.00 num_tgts=1 max_luns=1
      wait_for_sg 1 >/dev/null
      echo 0x8000 >/sys/bus/pseudo/drivers/scsi_debug/opts
      echo 1 >/sys/bus/pseudo/drivers/scsi_debug/every_nth
      # A program blocked in the kernel is freed after a minute at the latest.
      (sleep 60 && echo 0 >/sys/bus/pseudo/drivers/scsi_debug/opts) &
      download host-busy
      echo 0 >/sys/bus/pseudo/drivers/scsi_debug/opts
      show host-busy
      ;;
  esac
  # What reached the drive during this part, and what the kernel logged.
  tail -n +$((log_mark + 1)) /tmp/drive.log | sed "s/^/$part /"
  dmesg | tail -n +$((kernel_mark + 1)) | sed "s/^/$part kernel: /"
  echo "part $part: $(($(date +%s) - part_start)) s"
done
