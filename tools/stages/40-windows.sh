#!/usr/bin/env bash
# The Windows program: cross-built with mingw-w64 as the 32-bit program it
# ships as (build-mingw/), checked to load on Windows XP SP3 (its subsystem
# version and its imports), and run under Wine on a virtual display. Runs its
# unit tests, compares the output of its options with the Linux program's,
# downloads to the emulated drive with --yes and checks the exit status,
# shows what a machine without a drive gets, unpacks the zip for Windows
# users and runs the program from it, and takes a screenshot of the main
# window for the documentation.
#
# Wine runs a 32-bit program only where the machine's kernel runs 32-bit
# Linux programs. Where it does not, the same sources are built 64-bit
# (build-mingw64/) for the Wine checks, and the 32-bit program is run under
# Wine in the virtual machine test instead (tools/vm).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=$root/build-mingw
tests=(qtr5_windows_tests qtr5_windows_image_tests qtr5_windows_aspi_tests)

# Whether this machine runs 32-bit Linux programs, and so the 32-bit Wine.
runs_32bit_wine() {
  [[ -x /usr/lib/wine/wine ]] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

if [[ "${1:-}" != "--on-display" ]]; then
  # A build folder configured for the former 64-bit program is made anew.
  if grep -qs 'x86_64-w64-mingw32' "$build/CMakeCache.txt"; then rm -rf "$build"; fi
  cmake --preset mingw >/dev/null
  if runs_32bit_wine; then
    cmake --build --preset mingw --target qtr5-download qtr5-download-archive "${tests[@]}"
  else
    cmake --build --preset mingw --target qtr5-download qtr5-download-archive
    echo "-- this machine's kernel runs no 32-bit Linux programs, so no 32-bit Wine:"
    echo "   the Wine checks run on the 64-bit build (build-mingw64/); the 32-bit"
    echo "   program runs under Wine in the virtual machine test"
    cmake --preset mingw64 >/dev/null
    cmake --build --preset mingw64 --target qtr5-download qtr5-download-archive "${tests[@]}"
  fi

  echo "-- the 32-bit program loads on Windows XP SP3"
  exe=$build/qtr5-download.exe
  headers=$(objdump -p "$exe")
  grep -q 'file format pei-i386' <<<"$headers" || { echo "FAILED: $exe is not a 32-bit program" >&2; exit 1; }
  for field in MajorOSystemVersion MajorSubsystemVersion; do
    grep -qP "^$field\t5$" <<<"$headers" || { echo "FAILED: $field is not 5" >&2; exit 1; }
  done
  # Every import must be one Windows XP SP3 has; a new one fails here until
  # it is checked and added to the list.
  imports=$(awk '/DLL Name:/ {dll = toupper($3); next}
    dll && /^\t[0-9a-f]+\t +[0-9]+  [A-Za-z_]/ {print dll, $3}' <<<"$headers" | sort -u)
  unknown=$(comm -23 <(echo "$imports") <(grep -v '^#' tools/windows-xp-imports.txt | sort -u))
  if [[ -n $unknown ]]; then
    echo "FAILED: imports not known to exist on Windows XP SP3 (tools/windows-xp-imports.txt):" >&2
    echo "$unknown" >&2
    exit 1
  fi
  echo "   PE32, subsystem 5.1, $(wc -l <<<"$imports") imports, all on XP SP3"

  echo "-- the zip for Windows users: the program stripped, its README.txt, the licence and notices"
  zip=$(echo "$build"/qtr5-download-*-windows-x86.zip)
  listing=$(cmake -E tar tf "$zip")
  folder=$(basename "$zip" .zip)
  for file in qtr5-download.exe README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt; do
    grep -qx "$folder/$file" <<<"$listing" || { echo "FAILED: no $folder/$file in $zip" >&2; exit 1; }
  done
  unpacked=$(mktemp -d)
  (cd "$unpacked" && cmake -E tar xf "$zip")
  if objdump -h "$unpacked/$folder/qtr5-download.exe" | grep -q '\.debug_'; then
    echo "FAILED: the program in $zip has debug sections" >&2
    exit 1
  fi
  bash tests/packaging/check_notices.sh LICENSE "$unpacked/$folder/LICENSE.txt" \
    "$unpacked/$folder/THIRD-PARTY-NOTICES.txt" "CLI11" "JSON for Modern C++" \
    "GCC runtime libraries" "MinGW-w64 runtime" || { echo "FAILED: the notices in $zip" >&2; exit 1; }
  echo "   $(basename "$zip"): $(stat -c %s "$zip") bytes, the program $(stat -c %s "$unpacked/$folder/qtr5-download.exe") bytes"
  rm -rf "$unpacked"

  # The Wine prefix lives in the build folder and is made once.
  runs_32bit_wine || build=$root/build-mingw64
  export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [[ ! -f $WINEPREFIX/.qtr5-ready ]]; then
    echo "-- making the Wine prefix"
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    # Without a window manager every window close would stall about 2 s.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.qtr5-ready"
  fi
  # Wine draws the title-bar buttons with glyphs of its Marlett font, which
  # this Wine does not find where fonts-wine puts it: without a copy in the
  # prefix the buttons show the letters "0", "1" and "r".
  cp -u /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  QTR5_WINE_BUILD=$build exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --on-display
fi

build=$QTR5_WINE_BUILD
exe=$build/qtr5-download.exe
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

# Runs the program in $work with the given options; stdout, stderr and the
# exit status land in $work/out, $work/err and $status.
run() {
  status=0
  (cd "$work/cwd" && timeout 120 wine "$exe" "$@" >"$work/out" 2>"$work/err") || status=$?
  tr -d '\r' <"$work/out" >"$work/out.unix"
  tr -d '\r' <"$work/err" >"$work/err.unix"
}
expect_status() {
  [[ $status -eq $1 ]] || { fail "$2: exit status $status, expected $1"; cat "$work/out" "$work/err" >&2; }
}
expect_line() {
  grep -qxF -- "$2" "$work/$1.unix" || { fail "no line '$2' on std$1"; cat "$work/$1" >&2; }
}
mkdir -p "$work/cwd"

echo "-- unit tests"
# The whole program in the test process (WindowsFrontEnd) runs with the
# waits of the emulated drives 20 times shorter; its time scale then holds
# for the rest of the process, so the other tests run in one of their own.
for suite in "${tests[@]}"; do
  (cd "$build/tests/windows" && timeout 300 wine "$suite.exe" --gtest_brief=1 \
    --gtest_filter='-WindowsFrontEnd.*') || fail "$suite"
done
(cd "$build/tests/windows" && QTR5_TIME_SCALE=20 timeout 300 wine qtr5_windows_tests.exe \
  --gtest_brief=1 --gtest_filter='WindowsFrontEnd.*') || fail "qtr5_windows_tests (WindowsFrontEnd)"

# From here the emulated drives' waits (progress display, settle delays, busy
# time) run 20 times faster: QTR5_TIME_SCALE, which a real drive never gets.
export QTR5_TIME_SCALE=20

echo "-- options: the same output as the Linux program, apart from line ends"
linux=${QTR5_LINUX_PROGRAM:-$root/build/qtr5-download}
for args in "--help" "--version" "--check $root/samples/QTR5_ORNA.HEX" "--list --emulate" \
  "--emulate --image $root/samples/QTR5_ORNA.HEX --yes --json"; do
  # shellcheck disable=SC2086
  run $args
  expect_status 0 "$args"
  if [[ -x $linux ]]; then
    # shellcheck disable=SC2086
    (cd "$work/cwd" && "$linux" $args >"$work/linux.out" 2>/dev/null) || true
    diff -u "$work/linux.out" "$work/out.unix" >&2 || fail "$args prints other text than on Linux"
  fi
done

echo "-- download to the emulated drive with --yes"
run --emulate --image "$root/samples/QTR5_ORNA.HEX" --yes
expect_status 0 "download"
expect_line out "Download has been done successfully!"
expect_line out "Notice: Please Reboot system"
if [[ -x $linux ]]; then
  (cd "$work/cwd" && "$linux" --emulate --image "$root/samples/QTR5_ORNA.HEX" --yes \
    >"$work/linux.out" 2>/dev/null) || true
  diff -u "$work/linux.out" "$work/out.unix" >&2 || fail "the download run prints other lines than on Linux"
fi

echo "-- the --yes echo: the kept transcripts of the terminal program (tests/data/golden)"
# A run of progress lines is kept as its first line and a mark, as the
# transcript test keeps it: which steps follow depends on the timing.
steady() {
  awk '/^Progress: /{ if (p) { more = 1; next } p = 1; print; next }
       { if (more) print "Progress: (more steps)"; p = 0; more = 0; print }
       END { if (more) print "Progress: (more steps)" }' "$1"
}
kept_stdout() { sed -n '/^--- stdout$/,/^--- stderr$/p' "$1" | sed '1d;$d'; }
golden=$root/tests/data/golden
for case in success damaged_image two_drives_refused refused_download unconfirmed_pinned; do
  for form in "" _json; do
    rm -f "$work/cwd/QTR5_ORNA.HEX"
    case $case in
      damaged_image) printf ':0100000041FF\r\n' >"$work/cwd/QTR5_ORNA.HEX" ;;
      *) cp "$root/samples/QTR5_ORNA.HEX" "$work/cwd/" ;;
    esac
    args=(--emulate --yes)
    case $case in
      two_drives_refused) args=(--emulate=0:0=drive,1:3=drive --yes) ;;
      refused_download) args=(--emulate=0:0=drive+fault=refuse-download --yes) ;;
      unconfirmed_pinned) args=(--emulate --yes --expect-checksum 0000) ;;
    esac
    [[ -n $form ]] && args+=(--json)
    run "${args[@]}"
    kept=$golden/$case$form.txt
    expect_status "$(sed -n '1s/^status: //p' "$kept")" "$case$form"
    diff -u <(kept_stdout "$kept") <(steady "$work/out.unix") >&2 ||
      fail "$case$form: the Windows program prints other lines than the kept transcript"
  done
done
rm -f "$work/cwd/QTR5_ORNA.HEX"

echo "-- an image that cannot be read fails the run"
# The record's checksum is off by one: the loader must refuse the file.
printf ':0100000041BF\n:00000001FF\n' >"$work/bad.hex"
run --emulate --image "$work/bad.hex" --yes
expect_status 1 "unreadable image"
grep -q "Download has been done successfully!" "$work/out.unix" && fail "a bad image was downloaded"

echo "-- no drive: Wine's ASPI service has no host adapter"
run --yes
expect_status 3 "no drive"
expect_line out "Fail to Initialize ASPI !"
expect_line out "Fail to Find Device"
expect_line err "qtr5-download: transport: SCSI pass-through"
expect_line err "qtr5-download: QTR5_TIME_SCALE is ignored: it is meant for emulated drives only"
grep -qF '\\\\' "$work/err.unix" && fail "a device path with doubled backslashes"

echo "-- the program from the zip: its version, and the download to the emulated drive"
zip=$(echo "$build"/qtr5-download-*-windows-*.zip)
mkdir -p "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
zipped=$work/zip/$(basename "$zip" .zip)
cp "$root/samples/QTR5_ORNA.HEX" "$zipped/"
status=0
wine "$zipped/qtr5-download.exe" --version >"$work/out" 2>"$work/err" || status=$?
tr -d '\r' <"$work/out" >"$work/out.unix"
expect_status 0 "--version from the zip"
grep -q '^QTR5 (XPM-3177K) Download Utility' "$work/out.unix" || fail "--version from the zip"
status=0
(cd "$zipped" && QTR5_TIME_SCALE=100 timeout 120 wine ./qtr5-download.exe --emulate --yes >"$work/out" 2>"$work/err") || status=$?
tr -d '\r' <"$work/out" >"$work/out.unix"
expect_status 0 "the download from the zip"
expect_line out "Download has been done successfully!"

echo "-- screenshot of the main window"
mkdir -p "$work/shot" "$root/docs/screenshots"
cp "$root/samples/QTR5_ORNA.HEX" "$work/shot/"
(cd "$work/shot" && exec wine "$exe" --emulate >/dev/null 2>&1) &
program=$!
shot=$work/screen.png
shown=0
for _ in $(seq 1 60); do
  sleep 0.5
  import -window root "$shot" 2>/dev/null || continue
  # The empty virtual screen is black all over; the window is not.
  if [[ $(convert "$shot" -format '%[fx:maxima.r > 0 ? 1 : 0]' info:) == 1 ]]; then
    shown=1
    break
  fi
done
if [[ $shown -eq 1 ]]; then
  sleep 2  # the start-up (scan, tray) has finished: the settled window
  import -window root "$shot"
  # Cut to the window: everything around it is the black screen.
  convert "$shot" -trim +repage -strip "$root/docs/screenshots/windows-main.png"
  echo "   docs/screenshots/windows-main.png"
else
  fail "the main window did not appear"
fi
wineserver -k 2>/dev/null || true
wait "$program" 2>/dev/null || true

if [[ $failures -ne 0 ]]; then
  echo "windows stage: $failures check(s) failed" >&2
  exit 1
fi
echo "windows stage: all checks passed"
