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

cd /tmp
status=0
. /case.sh || status=$?
echo "QTR5-VM-RESULT status=$status"
sync
poweroff -f
