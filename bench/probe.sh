#!/usr/bin/env bash
# bench/probe's measurements in the sandbox, on the PC or, with
# BUTTOND_MACHINE set, on the emulated board: the probe sampling 20 s with
# no press, alone and (on the board) beside a busy loop; KEY=VALUE lines in
# $SANDBOX_OUT/results.
set -euo pipefail
# shellcheck source=../sim/sandbox/boardlib.sh
. boardlib.sh
res=$out/results
put() { echo "$1=$2" >>"$res"; echo "  $1 = $2" >&2; }

probe=buttond-probe
board_start
if machine; then
	probe=/usr/sbin/buttond-probe
	daemon_start buttond
	on_board '/etc/init.d/S50buttond stop' >/dev/null
fi
# CPU time in the kernel's clock ticks (USER_HZ, 100 a second).
ticks() { on_board "cat /proc/$1/stat" | awk '{ print $14 + $15 }'; }
runs=idle
! machine || runs="idle hog"
for run in $runs; do
	[ "$run" = idle ] || on_board 'while :; do :; done </dev/null >/dev/null 2>&1 & echo $! >/tmp/hog'
	pid=$(on_board "$probe -t 20 >/tmp/$run.out 2>&1 </dev/null & echo \$!")
	sleep 2
	before=$(ticks "$pid")
	sleep 15
	put ${run}_cpu_percent "$(awk -v t="$(($(ticks "$pid") - before))" 'BEGIN { printf "%.1f", t / 15 }')"
	wait_until 30 eval "! on_board 'kill -0 $pid 2>/dev/null'"
	[ "$run" = idle ] || on_board 'kill "$(cat /tmp/hog)"'
	on_board "cat /tmp/$run.out" >"$out/$run.out"
	put ${run}_samples_per_s "$(sed -n 's/^sampled \([0-9]*\) times in \([0-9.]*\) s.*/\1 \2/p' "$out/$run.out" |
		awk '{ printf "%.0f", $1 / $2 }')"
	put ${run}_late_ms "$(sed -n 's/.*sampling: .* wake-ups worst \([0-9.]*\) ms late, 99.9 % within \([0-9.]*\) ms.*/\1 \/ \2/p' \
		"$out/$run.out")"
done
