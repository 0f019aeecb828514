# The drive of the model in user space behind the kernel's loopback target:
# the whole download through a real kernel, and what the program does when
# the drive stays busy, vanishes or is removed, raises a unit attention, or
# is asked by a second copy during the download. One boot; each part
# restarts the drive. qtr5.cases=A,B on the kernel command line runs only
# those parts.
parts=$(sed -n 's/.*qtr5\.cases=\([^ ]*\).*/\1/p' /proc/cmdline | tr ',' ' ')
[ -n "$parts" ] || parts="success unit-attention busy silent removed host-busy"
image=/data/QTR5_ORNA.HEX

# download NAME [OPTION...]: one run of the program, its output, status and
# time in /tmp/NAME.out; a run that hangs is ended after 90 s.
download() {
  local name=$1 start
  shift
  start=$(date +%s)
  timeout 90 qtr5-download --image "$image" --yes "$@" </dev/null >"/tmp/$name.out" 2>&1
  echo "$name-exit=$? elapsed=$(($(date +%s) - start))" >>"/tmp/$name.out"
}
show() { sed "s/^/$1: /" "/tmp/$1.out"; }

drive_start
for part in $parts; do
  part_start=$(date +%s)
  log_mark=$(wc -l </tmp/drive.log)
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
      drive_run --busy 60000
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
  # What reached the drive during this part.
  tail -n +$((log_mark + 1)) /tmp/drive.log | sed "s/^/$part /"
  echo "part $part: $(($(date +%s) - part_start)) s"
done
