# Makes the Wine prefix on the Wine disk (run once, then the disk is cached).
# No display: Wine's null graphics driver.
. /data/wine-guest.sh
wine_mount || { echo "wine-prefix=no-disk"; exit 1; }
start=$(date +%s)
wine wineboot -i
booted=$?
echo "wineboot-exit=$booted"
cat >/tmp/null.reg <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Graphics"="null"
REG
wine regedit /S 'Z:\tmp\null.reg'
wineserver -w
echo "elapsed=$(($(date +%s) - start))"
df -m /wine
[ $booted -eq 0 ] && [ -f /wine/prefix/system.reg ] && echo "wine-prefix=ready"
sync
umount /wine
