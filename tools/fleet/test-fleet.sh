#!/usr/bin/env bash
# Runs the user's guide's fleet example against this machine: the playbook and the
# ad-hoc command, through Ansible with an inventory of local hosts
# (connection local), each host a layout of emulated drives: one without a
# drive, one where the program has no rights to the drives, a good drive, a
# drive that fails while writing. Check mode runs a dry run on every host
# and touches no drive; a real run flashes the good drive, stops the rollout
# at the failing one and reports every host; a pinned hash that does not
# match is refused with nothing sent.
# Usage: test-fleet.sh PROGRAM   (exits 77, "skipped", without Ansible)
set -euo pipefail
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
sample=$here/../../samples/QTR5_ORNA.HEX

if ! command -v ansible-playbook >/dev/null || ! command -v ansible >/dev/null; then
  echo "SKIPPED: ansible is not installed (./setup.sh installs it)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$sample" fw.hex
hash=$(sha256sum fw.hex | cut -d' ' -f1)
export ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_REMOTE_TEMP=$work/tmp ANSIBLE_NOCOLOR=1
# The playbook becomes root; this machine runs it as root already, where su
# needs no password (sudo may be missing).
common=(-e "program=$program" -e "remote_dir=$work/remote" -e ansible_become_method=su
        -e '{"program_env": {"QTR5_TIME_SCALE": "20"}}' -e "image=$work/fw.hex")
mkdir -p remote
fail() { echo "FAILED: $*"; exit 1; }

# inventory FILE HOST=LAYOUT...: the hosts in that order, each running the
# program against its emulated drives (their firmware kept in state/HOST).
inventory() {
  local file=$1
  shift
  {
    echo "cdrom_hosts:"
    echo "  vars: {ansible_connection: local, ansible_python_interpreter: $(command -v python3)}"
    echo "  hosts:"
    for entry in "$@"; do
      echo "    ${entry%%=*}: {program_args: [\"--emulate=${entry#*=}\", \"--emulate-state\", \"$work/state/${entry%%=*}\"]}"
    done
  } >"$file"
}
flashed() { [[ -s state/$1/0-0/firmware.bin ]]; }
expect() { grep -qF -- "$2" "$1" || { cat "$1"; fail "no '$2' in $1"; }; }

inventory four.yml empty-host=empty no-rights-host=denied good-host=0:0=drive \
  failing-host=0:0=drive+fault=refuse-download

echo "-- check mode: a dry run on every host, no drive touched"
if ansible-playbook --check -i four.yml "${common[@]}" -e "image_sha256=$hash" \
  "$here/flash-drives.yml" >check.log 2>&1; then
  cat check.log; fail "the check passed a host without rights"
fi
expect check.log 'empty-host: done: no XPM-3177K drive in this machine'
expect check.log 'no-rights-host: FAILED (status 13, no-access): The system refused this program access'
expect check.log "good-host: would flash fw.hex (SHA-256 $hash) into QTR5    CD-ROM XPM-3177K at 0:0"
expect check.log 'failing-host: would flash fw.hex'
grep -qE 'good-host +: ok=.* failed=0' check.log || { cat check.log; fail "good-host counted as failed"; }
grep -qE 'no-rights-host +: ok=.* failed=1' check.log || { cat check.log; fail "no rights not failed"; }
for host in good-host failing-host; do ! flashed $host || fail "check mode flashed $host"; done
[[ -z $(find remote -name fw.hex) ]] || fail "check mode left the image on the host"

echo "-- a real run: flashes, stops at the drive that fails while writing, reports every host"
inventory real.yml empty-host=empty good-host=0:0=drive \
  failing-host=0:0=drive+fault=refuse-download no-rights-host=denied
if ansible-playbook -i real.yml "${common[@]}" -e "image_sha256=$hash" \
  "$here/flash-drives.yml" >real.log 2>&1; then
  cat real.log; fail "the rollout with a failing drive succeeded"
fi
expect real.log 'empty-host: done: no XPM-3177K drive in this machine'
expect real.log 'good-host: flashed QTR5    CD-ROM XPM-3177K at 0:0, new revision 1.10'
expect real.log 'failing-host: FAILED (status 11, incomplete): The drive failed while writing'
expect real.log 'flash it again now'
expect real.log 'no-rights-host: not reached: the rollout stopped at failing-host'
flashed good-host || fail "the good drive kept no firmware"
! grep -q '"--emulate=denied"' real.log || fail "the rollout went on past the failing drive"

echo "-- another hash: refused, nothing sent"
inventory one.yml good-host=0:0=drive
rm -rf state
if ansible-playbook -i one.yml "${common[@]}" -e "image_sha256=$(printf '0%.0s' {1..64})" \
  "$here/flash-drives.yml" >bad.log 2>&1; then
  cat bad.log; fail "the run with another hash succeeded"
fi
expect bad.log 'good-host: FAILED (status 1, failed): '
expect bad.log 'fw.hex is not the expected image'
! flashed good-host || fail "the drive was flashed with an unpinned image"

echo "-- the ad-hoc command"
QTR5_TIME_SCALE=20 ansible cdrom_hosts -i one.yml -m ansible.builtin.command \
  -a "$program --emulate --image $work/fw.hex --expect-sha256 $hash --yes --json" \
  >adhoc.log 2>&1 || { cat adhoc.log; fail "the ad-hoc command failed"; }
expect adhoc.log '"newRevision":"1.10"'
echo "fleet example: all passed"
