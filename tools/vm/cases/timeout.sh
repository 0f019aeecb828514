# A CD/DVD device named as the model whose commands time out: each timeout
# is a failure, and the program ends within its documented limits.
load sg
load scsi_debug ptype=5 inq_vendor=QTR5 inq_product=DVDROM-XPM-3177K inq_rev=1.00 num_tgts=1 max_luns=1
echo "sg nodes: $(wait_for_sg 1)"
qtr5-download --list </dev/null
echo "control-exit=$?"
echo 4 >/sys/bus/pseudo/drivers/scsi_debug/opts
echo 1 >/sys/bus/pseudo/drivers/scsi_debug/every_nth
start=$(date +%s)
qtr5-download --list </dev/null
echo "timeout-exit=$?"
echo "elapsed=$(($(date +%s) - start))"
