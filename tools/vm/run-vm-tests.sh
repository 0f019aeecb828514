#!/usr/bin/env bash
# Boots the program in a virtual machine against drives that QEMU emulates
# and a real Linux kernel's SCSI stack, and checks what it prints and its
# exit status. Usage: tools/vm/run-vm-tests.sh [PROGRAM] (default
# build/qtr5-download). Skips, saying why, where QEMU cannot run.
# VM_CASES="user-drive list" runs only those boots (names as in cases/);
# VM_DRIVE_PARTS="success,busy" only those parts of the user-drive boot.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
program=$(realpath -m "${1:-$top/build/qtr5-download}")
work=${VM_WORK:-$top/build/vm}
sample=$top/samples/QTR5_ORNA.HEX
source "$here/vm-lib.sh"
source "$here/wine-image.sh"

if ! command -v qemu-system-x86_64 >/dev/null; then
  echo "vm: SKIPPED: qemu-system-x86_64 is not installed (./setup.sh installs it)"
  exit 0
fi
if [[ ! -x "$program" ]]; then
  echo "vm: $program does not exist; build it first" >&2
  exit 1
fi
mkdir -p "$work"
if ! vm_fetch_kernel "$work/cache"; then
  echo "vm: SKIPPED: no kernel package could be fetched"
  exit 0
fi

passed=0
failed=0
skipping=0  # the current case is not among VM_CASES: its checks do nothing
check() {  # check NAME CONDITION-DESCRIPTION COMMAND...
  local name=$1 what=$2
  shift 2
  [[ $skipping -eq 0 ]] || return 0
  if "$@"; then
    echo "  ok   $what"
  else
    echo "  FAIL $what"
    case_failed=1
  fi
}
has() { grep -q -- "$2" "$1"; }
count() { grep -c -- "$2" "$1"; }

# The devices of the cases that need a drive of the model.
model_drives=(-device virtio-scsi-pci,id=s0
  -device 'scsi-cd,bus=s0.0,scsi-id=3,lun=0,vendor=QTR5,product=CD-ROM XPM-3177K,ver=1.00'
  -device 'scsi-cd,bus=s0.0,scsi-id=1,lun=0,vendor=OTHER,product=CD-ROM MODEL-1,ver=2.00'
  -device ide-cd,bus=ide.1)

# wine_address_mismatches LOG: how many of the letters' addresses from Wine
# ("address: D: port P path B target T lun L") differ from port C+2, path H,
# target T, LUN L of the letter's Linux address ("letter: d: /dev/srN H:C:T:L"),
# as "N of M".
wine_address_mismatches() {
  awk '/^letter: / { split($4, a, ":"); want[toupper(substr($2, 1, 1))] = (a[2] + 2) " " a[1] " " a[3] " " a[4] }
       /^address: / { l = substr($2, 1, 1); n++; if ($4 " " $6 " " $8 " " $10 != want[l]) bad++ }
       END { print bad + 0 " of " n + 0 }' "$1"
}

# wine_expected_address LOG MODEL: the A:T the program gives the letter
# whose device is MODEL, from Wine's addresses: one adapter per port in
# ascending order; targets keep their ids where the port has one path,
# LUN 0 and ids 0 to 7, else numbered in the order of path, target and LUN.
wine_expected_address() {
  awk -v model="$2" '
    /^map: / && index($0, model) { wanted[$4] = 1 }
    /^letter: / { letter[toupper(substr($2, 1, 1))] = $4 }
    /^address: / { l = substr($2, 1, 1); n++; port[n] = $4; path[n] = $6; tgt[n] = $8; lun[n] = $10
                   if (letter[l] in wanted) me = n }
    END {
      if (!me) { print "?:?"; exit }
      for (i = 1; i <= n; i++) if (port[i] < port[me]) lower[port[i]] = 1
      adapter = length(lower); keep = 1; rank = 0
      for (i = 1; i <= n; i++) {
        if (port[i] != port[me]) continue
        if (path[i] != 0 || lun[i] != 0 || tgt[i] > 7) keep = 0
        for (j = 1; j < i; j++) if (port[j] == port[me] && tgt[j] == tgt[i]) keep = 0
        if (path[i] < path[me] || (path[i] == path[me] && (tgt[i] < tgt[me] || (tgt[i] == tgt[me] && lun[i] < lun[me])))) rank++
      }
      print adapter ":" (keep ? tgt[me] : rank)
    }' "$1"
}

# aborts_and_resets PART [BEFORE]: how many task management requests (aborts,
# resets) reached the user-space drive during PART, plus the abort and reset
# lines the kernel logged then; with BEFORE (seconds of the monotonic clock
# of the drive's lines), only those before it. The kernel log's clock may
# stray from the drive's by a fraction of a second: its lines count from 1 s
# before BEFORE.
aborts_and_resets() {
  awk -v part="$1" -v before="${2:-}" '
    index($0, part " drive: at ") == 1 && / task management / {
      if (before == "" || $4 < before) n++ }
    index($0, part " kernel: ") == 1 && /ABORT_TASK|LUN_RESET|TARGET_(WARM|COLD)_RESET|[Rr]eset/ {
      t = $0; sub(/^[^[]*\[ */, "", t); sub(/\].*/, "", t)
      if (before == "" || t + 1 < before) n++ }
    END { print n + 0 }' "$log"
}

wanted() { [[ -z "${VM_CASES:-}" || " $VM_CASES " == *" $1 "* ]]; }

run_case() {  # run_case NAME LIMIT QEMU-ARGS... (VM_CASE_SCRIPT: another script than cases/NAME.sh)
  local name=$1 limit=$2
  shift 2
  skipping=0
  wanted "$name" || { skipping=1 log=/dev/null; return 0; }
  log=$work/$name.log
  local initrd=$work/$name.cpio.gz
  # shellcheck disable=SC2086
  vm_build_initramfs "$initrd" "$program" "${VM_CASE_SCRIPT:-$here/cases/$name.sh}" "$sample" ${VM_EXTRA_FILES:-}
  local t0=$SECONDS
  vm_boot "$initrd" "$log" "$limit" "$@"
  tr -d '\r' <"$log" >"$log.txt"
  log=$log.txt
  echo "vm: case $name ($((SECONDS - t0)) s)"
  case_failed=0
  check "$name" "the guest ran the case to its end" has "$log" "QTR5-VM-RESULT"
}
finish_case() {
  if [[ $skipping -eq 1 ]]; then
    return 0
  elif [[ $case_failed -eq 0 ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "  --- guest console of the failed case ($log):"
    sed 's/^/  | /' "$log" | tail -n 60
  fi
}

run_case list 120 "${model_drives[@]}"
check list "--list exits 0" has "$log" "list-exit=0"
check list "exactly the model drive, at adapter 0, target 3, with its sg node and kernel address" \
  grep -q -E '\{"drives":\[\{"adapter":0,"model":"QTR5    CD-ROM XPM-3177K","names":\["/dev/sg[0-9]+","[0-9]+:0:3:0"\],"revision":"1.00","target":3\}\],"drivesFound":1,' "$log"
check list "the drive of another model and the ATAPI drive are not listed as drives" \
  test "$(grep -E '^\{"drives"' "$log" | sed 's/"drivesFound".*//' | grep -c -E 'MODEL-1|QEMU DVD')" -eq 0
check list "the drive of another model is named as not accepted, and why" \
  grep -q -E 'Not accepted at 0:1 .*MODEL-1.*a CD-ROM drive of another model' "$log"
finish_case

run_case download 180 "${model_drives[@]}"
check download "exit status 1" has "$log" "download-exit=1"
check download "the tray was opened" has "$log" "out: Open Tray..."
check download "the download was reported failed" has "$log" "out: Download has been failed!"
check download "the tray command completed" \
  has "$log" '"cdb":"1b00000002'
check download "the download command reached the device and was refused with sense data" \
  grep -q -E 'rec: .*"cdb":"55000077.*"status":4' "$log"
check download "no INQUIRY after the refused download" \
  test "$(sed -n '/"cdb":"55000077/,$p' "$log" | grep -c '"cdb":"12')" -eq 0
finish_case

run_case no-sg 120 "${model_drives[@]}"
check no-sg "--list exits 3" has "$log" "list-exit=3"
check no-sg "the run exits 3" has "$log" "run-exit=3"
check no-sg "the program says the sg driver is not loaded" has "$log" "sg driver is not loaded"
check no-sg "the status line ends on Fail to Find Device" has "$log" "Fail to Find Device"
finish_case

run_case timeout 240
check timeout "the drive is found while it answers" has "$log" "control-exit=0"
check timeout "a drive of the model whose commands time out is a drive that does not answer: exit 12" has "$log" "timeout-exit=12"
elapsed=$(sed -n 's/^elapsed=//p' "$log")
check timeout "the program ends within its limits (${elapsed:-?} s)" test "${elapsed:-999}" -le 90
finish_case

# The transport's own test of a real kernel path, inside the machine where
# scsi_debug can be loaded: INQUIRY through the whole provider.
unit_tests=$(dirname "$program")/tests/linux/qtr5_linux_tests
if [[ -x "$unit_tests" ]]; then
  VM_EXTRA_BINARIES=$unit_tests run_case scsi-debug-unit 120
  check scsi-debug-unit "the scsi_debug test ran and passed" \
    grep -q -E '^\[  PASSED  \] 1 test' "$log"
  check scsi-debug-unit "it was not skipped" test "$(grep -c 'SKIPPED' "$log")" -eq 0
  finish_case
else
  echo "vm: case scsi-debug-unit SKIPPED: $unit_tests is not built"
fi

# QEMU with the IDE drive of the model (qemu/ide-drive.patch, built by
# qemu/build-qemu.sh and cached): the ATAPI boots at the end, and the Windows
# program under Wine on such a drive.
if wanted atapi-piix || wanted atapi-ahci || wanted wine; then
  t0=$SECONDS
  if ! atapi_qemu=$("$here/qemu/build-qemu.sh"); then
    echo "vm: FAIL: QEMU with the IDE drive of the model could not be built"
    failed=$((failed + 1))
    atapi_qemu=
  else
    echo "vm: QEMU with the IDE drive of the model: $atapi_qemu ($((SECONDS - t0)) s)"
  fi
fi
# What the download command must carry: the sample's checksum in bytes 5-6,
# 65534 in bytes 7-8 and image bytes 0 and 1 in bytes 10-11.
"$program" --check "$sample" --save-image "$work/image.bin" >/dev/null
image_sum=$(od -An -v -tu1 "$work/image.bin" | awk '{ for (i = 1; i <= NF; i++) s += $i } END { printf "%04x", s % 65536 }')
image_head=$(od -An -tx1 -N2 "$work/image.bin" | awk '{ print $1 " " $2 }')
download_packet="55 00 00 77 00 ${image_sum:0:2} ${image_sum:2:2} ff fe 02 $image_head"
# ide_drive OPTIONS: the -device value of a drive of the model on the IDE
# bus, logging into the FIFO $ide_fifo.in (ide_fifo_make makes it; the
# guest reads it on its second serial port, -serial pipe:$ide_fifo).
ide_drive() {
  echo "ide-cd,ver=1.00,model=QTR5 CD-ROM XPM-3177K,fw-download=on,fw-log=$ide_fifo.in,$1"
}
ide_fifo_make() {  # ide_fifo_make NAME
  ide_fifo=$work/$1-drives
  rm -f "$ide_fifo.in" "$ide_fifo.out"
  mkfifo "$ide_fifo.in" "$ide_fifo.out"
}

# The Windows program (32-bit) under the 32-bit Wine in the machine (cases/
# wine.sh), through Wine's ASPI layer and through SCSI pass-through.
windows_program=${QTR5_WINDOWS_PROGRAM:-$top/build-mingw/qtr5-download.exe}
if ! wanted wine; then
  :
elif [[ ! -f $windows_program ]]; then
  echo "vm: case wine SKIPPED: $windows_program is not built (cmake --preset mingw)"
elif ! command -v i686-w64-mingw32-gcc >/dev/null; then
  echo "vm: case wine SKIPPED: i686-w64-mingw32-gcc is not installed (./setup.sh installs it)"
elif ! vm_wine_image "${QTR5_VM_CACHE:-/var/tmp/qtr5-vm-cache}"; then
  echo "vm: case wine SKIPPED: no Wine disk for the machine (see above)"
else
  i686-w64-mingw32-gcc -std=c11 -Wall -Wextra -Werror -O2 -o "$work/wine-scsi-map.exe" \
    "$here/wine-scsi-map.c"
  # With the user-space drive (built with the Linux program, and the kernel's
  # target modules) the case ends with the whole flow on it.
  wine_user_drive=$(dirname "$program")/tools/vm/user-drive/qtr5-vm-user-drive
  if [[ ! -x "$wine_user_drive" ]]; then
    echo "vm: case wine: the success part SKIPPED: $wine_user_drive is not built"
    wine_user_drive=
  elif [[ -z "$(_vm_module_path target_core_user)" || -z "$(_vm_module_path tcm_loop)" ]]; then
    echo "vm: case wine: the success part SKIPPED: the kernel has no target_core_user or tcm_loop module"
    wine_user_drive=
  fi
  # With QEMU's IDE drive of the model (on the free IDE channel) the case
  # ends with the Windows program on it.
  wine_ide=()
  if [[ -n "${atapi_qemu:-}" ]]; then
    ide_fifo_make wine
    wine_ide=(-serial "pipe:$ide_fifo" -device "$(ide_drive bus=ide.0,unit=0,id=ide)")
  fi
  VM_USER_DRIVE=$wine_user_drive VM_MEMORY=1536 VM_QEMU=${atapi_qemu:-qemu-system-x86_64} \
    VM_APPEND=${atapi_qemu:+qtr5.ide-drive=on} \
    VM_EXTRA_FILES="$windows_program $here/wine-guest.sh $work/wine-scsi-map.exe" \
    run_case wine 600 \
    "${model_drives[@]}" -drive "file=$VM_WINE_IMAGE,format=raw,if=virtio,snapshot=on" "${wine_ide[@]}"
  [[ -z "${atapi_qemu:-}" ]] || rm -f "$ide_fifo.in" "$ide_fifo.out"
  hosts=$(sed -n 's/^map: sg[0-9]* at \([0-9]*\):.*/\1/p' "$log" | sort -u | wc -l)
  # ASPI: Wine's layer counts the host adapters of the registry's SCSI map,
  # then refuses every command without sending it (Wine 8 keeps no SCSI
  # code in wnaspi32): no drive can be found through it.
  check wine "aspi: the program names its transport: ASPI (wnaspi32.dll)" \
    has "$log" "^aspi-list-err: qtr5-download: transport: ASPI (wnaspi32.dll)"
  check wine "aspi: Wine's layer reports the $hosts host adapters of the SCSI map" \
    has "$log" "^aspi-rec: {\"record\":\"support_info\",\"status\":1,\"adapters\":$hosts}"
  check wine "aspi: Wine's layer refuses every command unsent (its trace says so)" \
    has "$log" "^aspi-list-err: .*fixme:aspi:SendASPI32Command no longer supported"
  check wine "aspi: the scan through the refusing layer ends within 30 s ($(sed -n 's/^aspi-list-elapsed=//p' "$log") s)" \
    test "$(sed -n 's/^aspi-list-elapsed=//p' "$log")" -le 30
  # Pass-through on the drive letters: Wine's CD-ROM driver sends through
  # SG_IO to the device nodes.
  check wine "spti: the program names its transport: SCSI pass-through" \
    has "$log" "^spti-list-err: qtr5-download: transport: SCSI pass-through"
  check wine "spti: --list exits as on Linux ($(sed -n 's/^linux-list-exit=//p' "$log"))" \
    has "$log" "^spti-list-exit=$(sed -n 's/^linux-list-exit=//p' "$log")$"
  check wine "spti: --list finds exactly the model drive" \
    grep -q -E '^spti-list-out: \{"drives":\[\{"adapter":[0-9]+,"model":"QTR5    CD-ROM XPM-3177K",[^{]*\}\],"drivesFound":1,' "$log"
  # Wine's CD-ROM driver answers IOCTL_SCSI_GET_ADDRESS with its own
  # mapping of the Linux address H:C:T:L: port C+2, path H, target T, LUN L.
  check wine "spti: Wine gives each CD-ROM letter the address port C+2, path H, target T, LUN L of its H:C:T:L" \
    test "$(wine_address_mismatches "$log")" = "0 of $(grep -c '^letter: ' "$log")"
  # So every Linux host lands on one Windows port, told apart by the path;
  # the program numbers that port's devices by path and target, as it does
  # the drives on the paths of one SATA controller.
  expected=$(wine_expected_address "$log" XPM-3177K)
  check wine "spti: --list names the model drive at $expected, the number of Wine's address (Linux: 0:3)" \
    grep -q -E "^spti-list-out: \{\"drives\":\[\{\"adapter\":${expected%:*},[^{]*\"target\":${expected#*:}\}\]" "$log"
  check wine "spti: the drive of another model is named as not accepted" \
    grep -q -E '^spti-list-err: qtr5-download: Not accepted at [0-9]+:[0-9]+ "OTHER   CD-ROM MODEL-1"' "$log"
  check wine "spti: the run opens the tray of the model drive" has "$log" "^spti-download-out: Open Tray...$"
  # The download itself: the image named by its Wine path is read and sent
  # through SG_IO, and QEMU's drive (its tray now open) refuses the command
  # with its own sense data, which the program tells.
  check wine "spti: the download run exits as on Linux ($(sed -n 's/^linux-download-exit=//p' "$log"))" \
    has "$log" "^spti-download-exit=$(sed -n 's/^linux-download-exit=//p' "$log")$"
  check wine "spti: the image is read and the download reported failed" \
    test "$(sed -n 's/^spti-download-out: //p' "$log" | tail -n 3 | tr '\n' '|')" = \
    "Reading is success!|Downloading...|Download has been failed!|"
  check wine "spti: the download command reached the drive and was refused: NOT READY, medium not present" \
    grep -q -E '^spti-rec: .*"cdb":"55000077[^}]*"status":4,[^}]*"targ_stat":2,"sense":"70..02.{18}3a00' "$log"
  check wine "spti: the program tells the drive's refusal with its sense" \
    has "$log" "^spti-download-err: .*did not take the download command: SCSI status 0x02, sense 2/3A/00 (not ready: medium not present)"
  if [[ -n "$wine_user_drive" ]]; then
    # The user-space drive takes the download: the whole flow succeeds.
    check wine "success: the Linux program flashes the user-space drive, exit 0" \
      has "$log" "^linux-success-exit=0$"
    check wine "success: the Windows program's run exits as the Linux program's" \
      has "$log" "^spti-success-exit=$(sed -n 's/^linux-success-exit=//p' "$log")$"
    check wine "success: it reads the new revision back and reports the download done" \
      test "$(grep -c -E '^spti-success-out: (New F/W Version: +1\.10|Download has been done successfully!)$' "$log")" -eq 2
    check wine "success: the drive got the download through SG_IO as a 10-byte block with 65535 data bytes, and took it" \
      grep -q -E '^spti-success drive: cdb 5500007700ce78fffe02 \(10 bytes\) data 65535 -> status 0$' "$log"
    check wine "hold: a drive that holds every command for 25 s after the download: exit 0, the new revision, done successfully" \
      test "$(grep -c -E '^spti-hold-(exit=0|out: New F/W Version: +1\.10|out: Download has been done successfully!)$' "$log")" -eq 3
    check wine "hold: the drive held the program's INQUIRY until 25 s after the download" \
      grep -q '^spti-hold drive: at [0-9.]* the hold is over$' "$log"
    check wine "hold: no abort or reset reached the drive, during the run or in the 30 s after it" \
      test "$(aborts_and_resets spti-hold)" -eq 0
  fi
  if [[ -n "${atapi_qemu:-}" ]]; then
    # The Windows program on QEMU's IDE drive of the model: Wine's
    # pass-through sends the 12-byte command through libata as an ATAPI packet.
    check wine "ide: the Windows program flashes the IDE drive of the model on its letter: exit 0, 1.10, done successfully" \
      test "$(grep -c -E '^spti-ide-(exit=0|out: New F/W Version: +1\.10|out: Download has been done successfully!)$' "$log")" -eq 3
    check wine "ide: the drive got all 12 command bytes (checksum $image_sum, 65534, image bytes 0-1 $image_head) and all 65534 data bytes, and the sum matched" \
      test "$(grep -c -E "^spti-ide drive: at [0-9.]+ ide: (packet $download_packet by |download data: 65534 of 65534 bytes by [^;]*; CDB bytes 10-11 $image_head; checksum in the CDB $image_sum, image sum $image_sum$)" "$log")" -eq 2
  fi
  finish_case
fi

# A recording made in the machine replays on the host with the same output.
if wanted download; then
rec=$work/download-session.jsonl
sed -n 's/^rec: //p' "$work/download.log.txt" >"$rec"
sed -n 's/^out: //p' "$work/download.log.txt" >"$work/download-guest.out"
case_failed=0
log=$work/replay.log
echo "vm: case replay (host)"
(cd "$work" && "$program" --replay "$rec" --image "$sample" --yes </dev/null >"$work/download-host.out" 2>"$log")
status=$?
check replay "the replay exits 1 as the machine did" test "$status" -eq 1
check replay "the replay prints what the machine printed" diff -u "$work/download-guest.out" "$work/download-host.out"
finish_case
fi

# The drive of the model in user space behind the kernel's loopback target
# (cases/user-drive.sh): every part of a download through a real kernel.
user_drive=$(dirname "$program")/tools/vm/user-drive/qtr5-vm-user-drive
if [[ ! -x "$user_drive" ]]; then
  wanted user-drive && echo "vm: case user-drive SKIPPED: $user_drive is not built"
elif [[ -z "$(_vm_module_path target_core_user)" || -z "$(_vm_module_path tcm_loop)" ]]; then
  wanted user-drive && echo "vm: case user-drive SKIPPED: the kernel has no target_core_user or tcm_loop module"
else
  parts=${VM_DRIVE_PARTS:-success,unit-attention,busy,silent,hold,sr-poll,hold-past,removed,host-busy}
  # hold-past alone takes six minutes: the window's limit.
  VM_USER_DRIVE=$user_drive VM_APPEND=qtr5.cases=$parts run_case user-drive 900
  part() { [[ ",$parts," == *",$1,"* ]]; }
  # took_image PART: the run ended unconfirmed (status 9) with the warning
  # that the drive took the image.
  took_image() {
    test "$(grep -c -E "^$1: (Download not confirmed: do not switch off!|.*Not confirmed: the drive took the image|$1-exit=9 )" "$log")" -eq 3
  }
  if part success; then
    check user-drive "success: exit 0, the new revision, done successfully" \
      test "$(grep -c -E '^success: (New F/W Version: +1\.10|Download has been done successfully!|success-exit=0 )' "$log")" -eq 3
    check user-drive "success: the drive got the download as a 10-byte block with 65535 data bytes, and took it" \
      grep -q -E '^success drive: cdb 5500007700ce78fffe02 \(10 bytes\) data 65535 -> status 0$' "$log"
    check user-drive "success: one download, then INQUIRY only" \
      test "$(sed -n '/^success drive: cdb 55/,$p' "$log" | grep '^success drive: cdb' | grep -c -v 'cdb 12')" -eq 1
    check user-drive "success: a second copy during the download finds the drive held, exit 3" \
      test "$(grep -c -E '^second: (.*held exclusively|second-exit=3 )' "$log")" -eq 2
  fi
  if part unit-attention; then
    check user-drive "unit-attention: the tray command is sent again and opens the tray; exit 0" \
      test "$(grep -c -E '^unit-attention(: unit-attention-exit=0 | drive: tray opened$)' "$log")" -eq 2
    check user-drive "unit-attention: one unit attention, then the tray command done" \
      grep -q -z -E 'drive: cdb 1b0000000200 \(6 bytes\) data 0 -> status 2 sense 6/29/00.unit-attention drive: at [0-9.]+ received cdb 1b0000000200 id [0-9]+.unit-attention drive: cdb 1b0000000200 \(6 bytes\) data 0 -> status 0' "$log"
  fi
  if part busy; then
    check user-drive "busy: a drive not ready for 20 s after the download is waited for: exit 0, 1.10" \
      test "$(grep -c -E '^busy: (New F/W Version: +1\.10|Download has been done successfully!|busy-exit=0 )' "$log")" -eq 3
    check user-drive "busy: asked again past the four INQUIRY attempts while it answered not ready" \
      test "$(grep -c '^busy drive: cdb 12.* sense 2/04/07$' "$log")" -gt 4
  fi
  if part silent; then
    check user-drive "silent: a drive that stops answering during the settle waits: unconfirmed (status 9), with the warning" \
      took_image silent
    check user-drive "silent: the run ends within its limit" \
      grep -q -E '^silent: silent-exit=9 elapsed=([0-9]|[1-5][0-9])$' "$log"
  fi
  if part hold; then
    check user-drive "hold: a drive that holds every command for 25 s after the download: exit 0, the new revision, done successfully" \
      test "$(grep -c -E '^hold: (New F/W Version: +1\.10|Download has been done successfully!|hold-exit=0 )' "$log")" -eq 3
    check user-drive "hold: the drive held the program's INQUIRY until 25 s after the download" \
      grep -q '^hold drive: at [0-9.]* the hold is over$' "$log"
    check user-drive "hold: no abort or reset reached the drive, during the run or in the 30 s after it" \
      test "$(aborts_and_resets hold)" -eq 0
  fi
  if part sr-poll; then
    check user-drive "sr-poll: the drive, polled by the CD-ROM driver every 2 s, is flashed: exit 0" \
      grep -q '^sr-poll: sr-poll-exit=0 ' "$log"
    # The window ends with the INQUIRY that confirms the new revision; then
    # the polling comes back (the kernel polls at once) and the program
    # lets the CD-ROM device go (TEST UNIT READY, ALLOW MEDIUM REMOVAL).
    check user-drive "sr-poll: from the download command to the INQUIRY that confirms the new revision, only the program's commands reached the drive" \
      test "$(sed -n '/^sr-poll drive: at [0-9.]* received cdb 55/,/^sr-poll drive: cdb 12[0-9a-f]* (6 bytes) data 36 -> status 0$/p' "$log" |
        grep ' received cdb ' | grep -c -v -E ' received cdb (55|12)')" -eq 0
    check user-drive "sr-poll: the driver polls the drive again after the run, every 2 s" \
      test "$(sed -n '/^sr-poll drive: the run ended$/,$p' "$log" | grep -c ' received cdb 4a')" -ge 1 -a \
      "$(grep -c '^sr-poll: sr-poll-polling-after=2000$' "$log")" -eq 1
  fi
  if part hold-past; then
    check user-drive "hold-past: a drive that holds every command past the window's limit: unconfirmed, exit 9" \
      test "$(grep -c -E '^hold-past: (.*"outcome":"unconfirmed"|hold-past-exit=9 )' "$log")" -eq 2
    held=$(sed -n 's/^hold-past drive: at \([0-9.]*\) holding every command.*/\1/p' "$log" | head -n 1)
    ended=$(sed -n 's/^hold-past: hold-past-ended-at=//p' "$log")
    after=$(awk -v a="${held:-0}" -v b="${ended:-0}" 'BEGIN { printf "%d", b - a }')
    check user-drive "hold-past: the run waits to the window's limit (300 s) and ends within its grace: ${after} s after the download" \
      test -n "$held" -a "$after" -ge 295 -a "$after" -le 310
    check user-drive "hold-past: no abort or reset reached the drive before the window's limit" \
      test "$(aborts_and_resets hold-past "$(awk -v a="${held:-0}" 'BEGIN { print a + 300 }')")" -eq 0
  fi
  if part removed; then
    check user-drive "removed: a drive removed during the progress display: unconfirmed (status 9), with the warning" \
      took_image removed
    check user-drive "removed: the program says the device has gone away" \
      grep -q '^removed: .*the device has gone away' "$log"
  fi
  if part host-busy; then
    elapsed=$(sed -n 's/^host-busy: host-busy-exit=[0-9]* elapsed=//p' "$log")
    check user-drive "host-busy: a host busy to every command: a drive of the model that does not answer, exit 12, within 30 s (${elapsed:-?} s)" \
      grep -q -E '^host-busy: host-busy-exit=12 elapsed=([0-9]|[12][0-9]|30)$' "$log"
  fi
  finish_case
fi

# The drive's own bus: drives of the model on QEMU's IDE bus reached through
# libata's ATAPI translation: ata_piix on the cloud kernel, ahci on Debian's
# generic kernel (the cloud kernel has no ahci). cases/atapi.sh, one boot per
# controller with four drives, one per part. Last: the generic kernel
# replaces the cloud kernel for what follows.
if [[ -n "${atapi_qemu:-}" ]] && { wanted atapi-piix || wanted atapi-ahci; }; then
  # ide_errors PART: the resets the drives logged during PART, and the lines
  # of libata's error handler (timeouts, exceptions, link resets) and the
  # SCSI layer's timeouts and aborts in the kernel log then.
  ide_errors() {
    awk -v part="$1" '
      index($0, part " drive: at ") == 1 && / reset: / { n++ }
      index($0, part " kernel: ") == 1 && /ata[0-9]|[Rr]eset|time[ds]? ?out|timing out|[Aa]bort/ { n++ }
      END { print n + 0 }' "$log"
  }
  # atapi_boot BUS TRANSFER WHERE...: boots cases/atapi.sh with the four
  # drives (QEMU ids flow, pio, hold, poll) at WHERE... (their bus and
  # unit) of the controller the array controller adds; TRANSFER is how
  # libata's own mode moves the download's data.
  atapi_boot() {
    local bus=$1 transfer=$2 part mode
    shift 2
    local name=atapi-$bus
    ide_fifo_make "$name"
    # The guest's TSC under TCG is the host's, which may jump (a machine
    # that is itself virtual): the guest keeps its clock by the HPET, so
    # that a jump does not end the program's waits at once.
    VM_QEMU=$atapi_qemu VM_CASE_SCRIPT=$here/cases/atapi.sh VM_APPEND="qtr5.bus=$bus tsc=unstable" \
      run_case "$name" 600 -serial "pipe:$ide_fifo" "${controller[@]}" \
      -device "$(ide_drive "$1,id=flow")" -device "$(ide_drive "$2,id=pio")" \
      -device "$(ide_drive "$3,id=hold,fw-busy-ms=0,fw-hold-ms=25000")" \
      -device "$(ide_drive "$4,id=poll,fw-busy-ms=10000")"
    rm -f "$ide_fifo.in" "$ide_fifo.out"
    check "$name" "$bus: --list names the four drives of the model, revision 1.00, with their sg nodes" \
      test "$(grep '^list: {"drives"' "$log" | grep -o -E '\{"adapter":[0-9]+,"model":"QTR5    CD-ROM XPM-3177K","names":\["/dev/sg[0-9]+","[0-9]+:0:[01]:0"\],"revision":"1.00","target":[01]\}' | wc -l)" -eq 4
    for part in flow pio hold poll; do
      check "$name" "$bus $part: exit 0, the new revision 1.10, done successfully" \
        test "$(grep -c -E "^$part: ($part-exit=0 |\{.*\"outcome\":\"success\".*\"newRevision\":\"1\.10\"|Download has been done successfully!$)" "$log")" -eq 3
    done
    for part in flow pio; do
      mode=$transfer
      [[ $part == pio ]] && mode="PIO in blocks of 64512 + 1022"
      mode_re=${mode//+/[+]}
      check "$name" "$bus $part: the download packet carried the checksum $image_sum, 65534 and image bytes 0-1 ($image_head)" \
        grep -q "^$part drive: at [0-9.]* $part: packet $download_packet by " "$log"
      check "$name" "$bus $part: the drive got all 65534 data bytes by $mode, the image's sum matched, and it took the image" \
        grep -q -z -E "$part drive: at [0-9.]+ $part: download data: 65534 of 65534 bytes by $mode_re; CDB bytes 10-11 $image_head; checksum in the CDB $image_sum, image sum $image_sum.$part drive: at [0-9.]+ $part: download taken: revision 1.10;" "$log"
    done
    check "$name" "$bus hold: the drive held the program's INQUIRY until 25 s after the download" \
      grep -q "^hold drive: at [0-9.]* hold: the hold is over: packet 12 runs now$" "$log"
    check "$name" "$bus hold: no reset reached the drives and libata handled no error, during the run or in the 30 s after it" \
      test "$(ide_errors hold)" -eq 0
    check "$name" "$bus poll: the CD-ROM driver polled the drive before the run" \
      test "$(sed -n '/^poll drive: at [0-9.]* poll: packet 55 /q;p' "$log" | grep -c '^poll drive: at [0-9.]* poll: packet 4a ')" -ge 2
    check "$name" "$bus poll: from the download command to the INQUIRY that confirms 1.10, only the program's commands and libata's REQUEST SENSE reached the drive" \
      test "$(sed -n '/^poll drive: at [0-9.]* poll: packet 55 /,/^poll drive: at [0-9.]* poll: INQUIRY: revision 1.10$/p' "$log" |
        grep -E '^poll drive: at [0-9.]* poll: (packet|ATA command) ' | grep -c -v -E ' poll: (packet (55|12|03) |ATA command a0$)')" -eq 0
    check "$name" "$bus poll: the driver polls the drive again after the run, every 2 s" \
      test "$(sed -n '/^poll drive: the run ended$/,$p' "$log" | grep -c '^poll drive: at [0-9.]* poll: packet 4a ')" -ge 1 -a \
      "$(grep -c '^poll: poll-polling-after=2000$' "$log")" -eq 1
    finish_case
  }
  if wanted atapi-piix; then
    controller=()
    atapi_boot piix DMA bus=ide.0,unit=0 bus=ide.0,unit=1 bus=ide.1,unit=0 bus=ide.1,unit=1
  fi
  if wanted atapi-ahci; then
    if ! vm_fetch_kernel "$work/cache" linux-image-amd64; then
      echo "vm: case atapi-ahci SKIPPED: Debian's generic kernel could not be fetched"
    else
      controller=(-device ich9-ahci,id=ahci)
      VM_MODULES="sg sr_mod ahci" atapi_boot ahci DMA bus=ahci.0 bus=ahci.1 bus=ahci.2 bus=ahci.3
    fi
  fi
fi

echo "vm: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
