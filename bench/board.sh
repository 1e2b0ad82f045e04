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
rollup() { on_board "cat /proc/$pid/smaps_rollup" | awk -v f="$1:" '$1 == f { print $2 }'; }
put rss_kb "$(rollup Rss)"
put dirty_kb "$(rollup Private_Dirty)"

echo "bench: gesture timing over 10 selections" >&2
for g in $(seq 10); do selection "$g"; done
gesture_figures
