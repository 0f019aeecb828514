#!/usr/bin/env bash
# Runs the README's fleet example against this machine: the playbook and the
# ad-hoc command, through Ansible with a localhost inventory (connection
# local), each flashing an emulated drive. A pinned hash that matches flashes
# (status 0, new revision 1.10); one that does not is refused (status 1,
# nothing sent) and stops the rollout, as does a drive that fails while
# writing (status 11), saying to flash it again.
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
printf '[cdrom_hosts]\nlocalhost ansible_connection=local ansible_python_interpreter=%s\n' \
  "$(command -v python3)" >hosts.ini
export ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_REMOTE_TEMP=$work/tmp ANSIBLE_NOCOLOR=1
common=(-i hosts.ini -e "program=$program" -e "remote_dir=$work/remote"
        -e '{"program_args": ["--emulate", "--emulate-state", "'"$work"'/state"]}'
        -e '{"program_env": {"QTR5_TIME_SCALE": "20"}}')
mkdir -p remote
fail() { echo "FAILED: $*"; exit 1; }

echo "-- the playbook, pinned hash matches"
ansible-playbook "${common[@]}" -e "image=$work/fw.hex" -e "image_sha256=$hash" \
  "$here/flash-drives.yml" >good.log 2>&1 || { cat good.log; fail "the matching run failed"; }
grep -q 'success: 1.10' good.log || { cat good.log; fail "no 'success: 1.10' in the report"; }
[[ -s state/0-0/firmware.bin ]] || fail "the emulated drive kept no firmware"

echo "-- the playbook, another hash: refused, nothing sent"
rm -rf state
if ansible-playbook "${common[@]}" -e "image=$work/fw.hex" -e "image_sha256=$(printf '0%.0s' {1..64})" \
  "$here/flash-drives.yml" >bad.log 2>&1; then
  cat bad.log; fail "the run with another hash succeeded"
fi
grep -q '"rc": 1' bad.log || { cat bad.log; fail "status 1 not reported"; }
grep -q 'is not the expected image' bad.log || { cat bad.log; fail "no reason given"; }
[[ ! -e state/0-0/firmware.bin ]] || fail "the drive was flashed with an unpinned image"

echo "-- the playbook, a drive that fails while writing: stops and says to flash it again"
if ansible-playbook "${common[@]}" -e "image=$work/fw.hex" -e "image_sha256=$hash" \
  -e '{"program_args": ["--emulate=0:0=drive+fault=refuse-download"]}' \
  "$here/flash-drives.yml" >incomplete.log 2>&1; then
  cat incomplete.log; fail "the run whose write failed succeeded"
fi
grep -q 'flash it again now' incomplete.log || { cat incomplete.log; fail "status 11 not told"; }

echo "-- the ad-hoc command"
QTR5_TIME_SCALE=20 ansible cdrom_hosts -i hosts.ini -m ansible.builtin.command \
  -a "$program --emulate --image $work/fw.hex --expect-sha256 $hash --yes --json" \
  >adhoc.log 2>&1 || { cat adhoc.log; fail "the ad-hoc command failed"; }
grep -q '"newRevision":"1.10"' adhoc.log || { cat adhoc.log; fail "no new revision in its JSON"; }
echo "fleet example: all passed"
