#!/usr/bin/env bash
# The processor time of a whole emulated flash at normal speed: the program
# finds the emulated drive, flashes the sample image, shows the 4-second
# progress display, waits for the drive and verifies it. The waits must not
# use the processor: the budget is 0.1 s of CPU (user + system) per run.
# Usage: bench/flow-cpu.sh [BUILD_DIR]   (default: build)
#   RUNS=N runs each program N times (default 3); BUDGET=SECONDS (default 0.1);
#   GUI_BUDGET=SECONDS for the desktop program (default 0.3).
# Measures qtr5-download with its output on a pipe and on a pseudo-terminal
# (the progress bar), and qtr5-download-gui on Qt's offscreen platform when
# it was built (that run includes Qt's start-up). Exits non-zero when a run goes over the budget.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
runs=${RUNS:-3}
budget=${BUDGET:-0.1}
gui_budget=${GUI_BUDGET:-0.3}  # Qt's own start-up takes about 0.1 s
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp samples/QTR5_ORNA.HEX "$work/"

# Prints "user system wall" seconds of one run of the command given.
measure() {
  (cd "$work" && /usr/bin/time -f "%U %S %e" -o "$work/time" "$@" >/dev/null 2>&1) ||
    [[ "${ALLOW_STATUS:-}" ]] || {
    echo "flow-cpu: '$*' failed" >&2
    exit 1
  }
  tail -n 1 "$work/time"
}

over=0
report() {  # name, budget, command...
  local name=$1 limit=$2
  shift 2
  for ((i = 1; i <= runs; i++)); do
    read -r user system wall < <(measure "$@")
    cpu=$(echo "$user + $system" | bc)
    verdict=ok
    if (($(echo "$cpu > $limit" | bc))); then verdict=OVER; over=1; fi
    printf '%-28s run %d: CPU %5.2f s (user %s, system %s), wall %s s  %s\n' \
      "$name" "$i" "$cpu" "$user" "$system" "$wall" "$verdict"
  done
}

report "qtr5-download (pipe)" "$budget" "$build/qtr5-download" --emulate --yes
report "qtr5-download (terminal)" "$budget" script -qec "$build/qtr5-download --emulate --yes" /dev/null
if [[ -x "$build/qtr5-download-gui" ]]; then
  # The window stays open after the flow (the notice waits for the user):
  # it is ended after 10 s, which adds only its idle time.
  ALLOW_STATUS=1 report "qtr5-download-gui (offscreen)" "$gui_budget" env QT_QPA_PLATFORM=offscreen \
    timeout -s TERM 10 "$build/qtr5-download-gui" --emulate --yes
fi
exit "$over"
