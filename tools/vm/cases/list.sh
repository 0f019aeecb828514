# A drive of the model, a CD-ROM of another model on the same virtio SCSI
# host, and an ATAPI drive on the IDE controller: --list names exactly the
# model drive, at the address the kernel gave it.
load sg
load virtio_pci
load virtio_scsi
load ata_piix
echo "sg nodes: $(wait_for_sg 3)"
for d in /sys/class/scsi_generic/*; do
  echo "sysfs: $(basename "$d") $(basename "$(readlink -f "$d/device")") $(cat "$d/device/model")"
done
qtr5-download --list --json </dev/null
echo "list-exit=$?"
qtr5-download --list </dev/null
