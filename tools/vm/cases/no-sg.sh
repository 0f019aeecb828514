# Without the SCSI generic driver the program finds nothing and says why.
load virtio_pci
load virtio_scsi
sleep 1
qtr5-download --list </dev/null
echo "list-exit=$?"
qtr5-download --yes </dev/null
echo "run-exit=$?"
