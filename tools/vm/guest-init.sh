#!/bin/busybox sh
# The virtual machine's first process: mounts the pseudo file systems, offers
# the case a few helpers, runs it, prints the result marker and powers off.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /tmp && mount -t tmpfs tmp /tmp

# load NAME [PARAMS...]: insmod a module after the modules it depends on.
load() {
  local name=$1 dep
  shift
  [ -d "/sys/module/$name" ] && return 0
  for dep in $(cat "/modules/$name.deps"); do load "$dep"; done
  insmod "/modules/$name.ko" "$@"
}

# wait_for_sg COUNT: device scanning is asynchronous; wait for the nodes.
wait_for_sg() {
  local i=0
  while [ "$(ls /dev/sg* 2>/dev/null | wc -l)" -lt "$1" ] && [ $i -lt 100 ]; do
    sleep 0.2
    i=$((i + 1))
  done
  ls /dev/sg* 2>/dev/null | wc -l
}

# The user-space drive of the model (qtr5-vm-user-drive, in the initramfs
# when the host set VM_USER_DRIVE): the kernel's loopback SCSI target
# (tcm_loop) gives it a SCSI host of its own, on which it is target 1, LUN 0;
# target_core_user passes every command to the program, and every task
# management request (abort, reset) the kernel's initiator sends. Its lines
# go to /tmp/drive.log. Commands the program leaves unanswered fail after
# DRIVE_COMMAND_TIMEOUT seconds (default 3; drive_command_timeout changes it).
drive_core=/sys/kernel/config/target/core/user_0/qtr5
drive_lun=/sys/kernel/config/target/loopback/naa.5001405000000001/tpgt_1/lun/lun_0

# drive_start [OPTION...]: sets the drive up and starts the program with
# the options (see qtr5-vm-user-drive); with none, those of the kernel
# command line's qtr5.drive= (commas for blanks). Waits for its sg node.
drive_start() {
  load sg
  load target_core_user
  load tcm_loop
  grep -q ' /sys/kernel/config ' /proc/mounts || mount -t configfs none /sys/kernel/config
  mkdir -p "$drive_core"
  echo -n "dev_config=qtr5/drive" >"$drive_core/control"
  echo "${DRIVE_COMMAND_TIMEOUT:-3}" >"$drive_core/attrib/cmd_time_out"
  echo 1 >"$drive_core/attrib/tmr_notification"
  echo 1 >"$drive_core/enable"
  if [ $# -eq 0 ]; then
    set -- $(sed -n 's/.*qtr5\.drive=\([^ ]*\).*/\1/p' /proc/cmdline | tr ',' ' ')
  fi
  drive_run "$@"
  drive_link
}

# drive_link: links the LUN (the kernel scans it at once) and waits for its
# sg node.
drive_link() {
  local before
  before=$(ls /dev/sg* 2>/dev/null | wc -l)
  # The LUN is scanned as soon as it is linked: the nexus must exist first.
  mkdir -p "$drive_lun"
  [ -n "$(cat "${drive_lun%/lun/lun_0}/nexus" 2>/dev/null)" ] ||
    echo naa.5001405000000002 >"${drive_lun%/lun/lun_0}/nexus"
  ln -s "$drive_core" "$drive_lun/qtr5"
  wait_for_sg $((before + 1)) >/dev/null
}

# drive_command_timeout SECONDS: the target layer fails a command the drive
# leaves unanswered after SECONDS from now on. The attribute cannot change
# while the LUN is linked: the LUN goes and comes back (the kernel finds the
# drive anew), unless the timeout is already SECONDS and the LUN linked.
# The kernel's scan needs the drive's answers: a drive that has exited
# (--vanish) is started again.
drive_command_timeout() {
  kill -0 "$(cat /tmp/drive.pid)" 2>/dev/null || drive_run
  if [ -d "$drive_lun" ]; then
    [ "$(cat "$drive_core/attrib/cmd_time_out")" = "$1" ] && return 0
    local before i=0
    before=$(ls /dev/sg* 2>/dev/null | wc -l)
    drive_remove
    while [ "$(ls /dev/sg* 2>/dev/null | wc -l)" -ge "$before" ] && [ $i -lt 50 ]; do
      sleep 0.1
      i=$((i + 1))
    done
  fi
  echo "$1" >"$drive_core/attrib/cmd_time_out"
  drive_link
}

# drive_run [OPTION...]: (re)starts the program on the set-up drive. The
# drive's state starts afresh; commands it left in the ring are answered.
drive_run() {
  if [ -f /tmp/drive.pid ]; then
    kill "$(cat /tmp/drive.pid)" 2>/dev/null
    wait "$(cat /tmp/drive.pid)" 2>/dev/null
  fi
  echo "drive: options: $*" >>/tmp/drive.log
  qtr5-vm-user-drive "$@" >>/tmp/drive.log 2>&1 &
  echo $! >/tmp/drive.pid
  drive_wait_for "drive: ready" 10
}

# drive_wait_for TEXT SECONDS: waits until the drive's log has TEXT in a
# line written since the last drive_run.
drive_wait_for() {
  local i=0
  while [ $i -lt $(($2 * 10)) ]; do
    sed -n '/drive: options:/h; /drive: options:/!H; ${x;p}' /tmp/drive.log | grep -q -- "$1" && return 0
    sleep 0.1
    i=$((i + 1))
  done
  return 1
}

# drive_remove: removes the drive's LUN, as unplugging it would.
drive_remove() {
  rm "$drive_lun/qtr5" && rmdir "$drive_lun"
}

# ide_drive_log: the lines of QEMU's IDE drives of the model (their fw-log,
# the FIFO behind the machine's second serial port) go to /tmp/drive.log as
# they come, each stamped with the clock of the kernel log: "drive: at
# SECONDS NAME: TEXT", NAME the drive's QEMU id.
ide_drive_log() {
  stty -F /dev/ttyS1 raw -echo
  awk '{ getline t < "/proc/uptime"; close("/proc/uptime"); split(t, a, " ")
         print "drive: at " a[1] " " $0; fflush() }' </dev/ttyS1 >>/tmp/drive.log &
}

cd /tmp
status=0
. /case.sh || status=$?
echo "QTR5-VM-RESULT status=$status"
sync
poweroff -f
