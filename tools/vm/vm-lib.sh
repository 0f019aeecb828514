#!/usr/bin/env bash
# Helpers for booting the program inside a small virtual machine: a Debian
# cloud kernel (downloaded as a package and unpacked, never installed), an
# initramfs made of busybox, the program with its shared libraries, and the
# kernel modules a case loads. Sourced by run-vm-tests.sh.

# vm_fetch_kernel CACHE_DIR [META_PACKAGE]: sets VM_KDIR (unpacked package)
# and VM_VMLINUZ, for the cloud kernel or the kernel META_PACKAGE names
# (linux-image-amd64: Debian's generic kernel, which has ahci).
vm_fetch_kernel() {
  local cache=$1 meta=${2:-linux-image-cloud-amd64} pkg deb
  mkdir -p "$cache"
  pkg=$(apt-cache depends "$meta" 2>/dev/null |
    awk '/Depends: linux-image-[0-9]/{print $2; exit}')
  if [[ -z "$pkg" ]]; then
    echo "vm: cannot resolve the kernel package of $meta (apt-get update?)" >&2
    return 1
  fi
  VM_KDIR="$cache/$pkg"
  if [[ ! -d "$VM_KDIR/boot" ]]; then
    rm -rf "$VM_KDIR" "$cache"/*.deb
    (cd "$cache" && apt-get download "$pkg" >/dev/null 2>&1) || {
      echo "vm: apt-get download $pkg failed" >&2
      return 1
    }
    deb=$(ls "$cache"/"$pkg"_*.deb | head -n 1)
    dpkg-deb -x "$deb" "$VM_KDIR.tmp" && mv "$VM_KDIR.tmp" "$VM_KDIR"
    rm -f "$deb"
  fi
  VM_VMLINUZ=$(ls "$VM_KDIR"/boot/vmlinuz-* | head -n 1)
  # Where each module is, found once: every initramfs looks modules up.
  declare -gA VM_MODULE_INDEX=()
  local ko ko_name
  while IFS= read -r ko; do
    ko_name=${ko##*/}
    VM_MODULE_INDEX[${ko_name%.ko}]=$ko
  done < <(find "$VM_KDIR/lib/modules" -name '*.ko')
}

# The modules a kernel module needs, read from its .modinfo section (the
# package ships no modules.dep).
_vm_module_path() {
  if [[ -n "${VM_MODULE_INDEX[$1]:-}" ]]; then
    echo "${VM_MODULE_INDEX[$1]}"
  else
    find "$VM_KDIR/lib/modules" -name "$1.ko" -print -quit
  fi
}
_vm_module_deps() {
  objcopy -O binary --only-section=.modinfo "$1" /dev/stdout 2>/dev/null |
    tr '\0' '\n' | sed -n 's/^depends=//p' | tr ',' ' '
}

# vm_module_closure NAME...: prints module names, dependencies first.
vm_module_closure() {
  local -A seen=()
  local out=()
  _visit() {
    local name=$1 path dep
    [[ -n "${seen[$name]:-}" ]] && return 0
    seen[$name]=1
    path=$(_vm_module_path "$name")
    [[ -n "$path" ]] || { echo "vm: module $name not found" >&2; return 1; }
    for dep in $(_vm_module_deps "$path"); do _visit "$dep"; done
    out+=("$name")
  }
  local m
  for m in "$@"; do _visit "$m"; done
  printf '%s\n' "${out[@]}"
}

# vm_copy_program STAGE BINARY: the binary and every shared library it needs.
vm_copy_program() {
  local stage=$1 bin=$2 lib
  install -D -m 0755 "$bin" "$stage/bin/$(basename "$bin")"
  for lib in $(ldd "$bin" | awk '/=>/ {print $3} /^\s*\/lib/ {print $1}'); do
    [[ -f "$lib" ]] && install -D -m 0755 "$lib" "$stage$lib"
  done
  # The dynamic loader under its canonical name as well.
  if [[ -f /lib64/ld-linux-x86-64.so.2 ]]; then
    install -D -m 0755 "$(readlink -f /lib64/ld-linux-x86-64.so.2)" "$stage/lib64/ld-linux-x86-64.so.2"
  fi
}

# vm_build_initramfs OUT BINARY CASE_SCRIPT [EXTRA_FILE...]: a gzip'd cpio
# archive whose /init mounts the pseudo file systems, runs the case and
# powers the machine off. Every module of the kernel's SCSI stack is
# included; each case loads what it needs with `load NAME [PARAMS]`.
# With VM_USER_DRIVE set to the built qtr5-vm-user-drive (a static program,
# build/tools/vm/user-drive/), the archive holds the user-space drive of the
# model and the target layer's modules; a case sets the drive up with
# `drive_start [OPTION...]` (guest-init.sh), which leaves it as the only
# device of its own SCSI host.
vm_build_initramfs() {
  local out=$1 bin=$2 case_script=$3
  shift 3
  local stage m
  stage=$(mktemp -d)
  mkdir -p "$stage"/{bin,proc,sys,dev,tmp,modules,data}
  cp /bin/busybox "$stage/bin/busybox"
  vm_copy_program "$stage" "$bin"
  # Further programs a case runs (test binaries), from VM_EXTRA_BINARIES.
  local extra
  for extra in ${VM_EXTRA_BINARIES:-}; do vm_copy_program "$stage" "$extra"; done
  # VM_MODULES replaces the list (a kernel without one of them).
  # shellcheck disable=SC2206
  local modules=(${VM_MODULES:-sg sr_mod virtio_scsi virtio_pci virtio_blk ata_piix scsi_debug})
  if [[ -n "${VM_USER_DRIVE:-}" ]]; then
    install -m 0755 "$VM_USER_DRIVE" "$stage/bin/qtr5-vm-user-drive"
    modules+=(target_core_user tcm_loop)
  fi
  for m in $(vm_module_closure "${modules[@]}"); do
    cp "$(_vm_module_path "$m")" "$stage/modules/$m.ko"
    _vm_module_deps "$(_vm_module_path "$m")" >"$stage/modules/$m.deps"
  done
  local f
  for f in "$@"; do cp "$f" "$stage/data/"; done
  cp "$(dirname "${BASH_SOURCE[0]}")/guest-init.sh" "$stage/init"
  cp "$case_script" "$stage/case.sh"
  chmod +x "$stage/init"
  (cd "$stage" && find . | cpio -o -H newc --quiet | gzip -1) >"$out"
  rm -rf "$stage"
}

# vm_boot INITRD LOG TIMEOUT_SECONDS [QEMU_ARGS...]: boots under TCG with the
# console on the log file. The guest's result is a marker line in the log.
# VM_MEMORY (MiB, default 512) gives the machine more memory; VM_QEMU names
# another emulator (the one with the IDE drive of the model).
vm_boot() {
  local initrd=$1 log=$2 limit=$3
  shift 3
  timeout --kill-after=5 "$limit" "${VM_QEMU:-qemu-system-x86_64}" -accel tcg -m "${VM_MEMORY:-512}" -smp 1 \
    -nographic -no-reboot -nodefaults -serial stdio -monitor none \
    -kernel "$VM_VMLINUZ" -initrd "$initrd" \
    -append "console=ttyS0 panic=-1 quiet loglevel=3 ${VM_APPEND:-}" "$@" >"$log" 2>&1
}
