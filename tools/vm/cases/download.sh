# The whole flow against the same drives: the tray opens, the download
# command reaches the device and is refused with real sense data.
load sg
load virtio_pci
load virtio_scsi
load ata_piix
echo "sg nodes: $(wait_for_sg 3)"
qtr5-download --image /data/QTR5_ORNA.HEX --yes --record /tmp/session.jsonl </dev/null >/tmp/out.txt 2>/tmp/err.txt
echo "download-exit=$?"
sed 's/^/out: /' /tmp/out.txt
sed 's/^/err: /' /tmp/err.txt
sed 's/^/rec: /' /tmp/session.jsonl
