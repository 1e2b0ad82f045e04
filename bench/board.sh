#!/usr/bin/env bash
# The emulated board's figures, run in the sandbox with BUTTOND_MACHINE
# set: boot to the daemon's start banner, its CPU time over 60 idle
# seconds and its memory in the guest, and gesture timing as on the PC.
set -euo pipefail
# shellcheck source=../sim/sandbox/boardlib.sh
. boardlib.sh
. "$(dirname "$0")/timing.sh"

board_start
start=$EPOCHREALTIME
echo "bench: boot to the start banner, idle CPU, memory" >&2
daemon_start buttond -d
banner=$(awk -F'\t' '/program starting/ { print $1; exit }' "$MACHINE_DIR/console.times")
put boot_to_banner_s "$(awk -v a="$start" -v b="$banner" 'BEGIN { printf "%.2f", b - a }')"
pid=$(daemon_pid)
# utime + stime, in the kernel's 10 ms ticks.
ticks() { on_board "cat /proc/$pid/stat" | awk '{ print $14 + $15 }'; }
sleep 2
before=$(ticks)
sleep 60
put idle_ticks_60s "$(($(ticks) - before))"
board_cat() { on_board "cat $1"; }
memory "$pid" start board_cat

echo "bench: gesture timing over 10 selections" >&2
for _ in $(seq 10); do selection; done
gesture_figures
echo "bench: from a release to its count, clean and chattering" >&2
release_figures clean
release_figures bounce bounce 10
release_figures polls on polls bounce 10
