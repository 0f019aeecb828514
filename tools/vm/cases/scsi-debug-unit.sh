# The Linux transport's scsi_debug test, where the module can be loaded.
load sg
load scsi_debug ptype=5 num_tgts=1 max_luns=1
echo "sg nodes: $(wait_for_sg 1)"
qtr5_linux_tests --gtest_filter='SgScsiDebug.*' --gtest_color=no </dev/null
