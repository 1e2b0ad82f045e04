#!/usr/bin/env bash
# Runs inside the sandbox: starts buttond -d on the simulated board and
# prints one timeline of what happens, then leaves its trace (demo.vcd,
# demo-full.vcd) and timing diagram (demo.png) beside the records. "play"
# (default) plays the typical gesture, hold and three taps on a clean
# contact; "hand [BOARDSIM OPTION...]" hands the board to the terminal
# (say -e both --bounce 10), "hand probe [BOARDSIM OPTION...]" with the
# bring-up probe in the daemon's place; "probe [BOARDSIM OPTION...]" runs
# the probe while a person taps five times.
set -euo pipefail
. boardlib.sh
mode=${1:-play}

names=(emerg alert crit err warning notice info debug)

# One source's records as timeline lines, in seconds since the board's
# time zero, the picture's too.
timeline() {
	local src=$1 pre=$2 e what
	while IFS=$'\t' read -r t a b _ d; do
		e=$(($(ms "$t") - start))
		[ $e -ge 0 ] || e=$((e + 86400000))
		case $src in
		syslog) what="syslog   $a.${names[b]:-$b} \"$d\"" ;;
		lumend) what="lumend   got $a" ;;
		command) what="command  $a $b" ;;
		file) what="file     $a written" ;;
		board) what="board    $a $b" ;;
		esac
		printf '%s%4d.%03d  %s\n' "$pre" $((e / 1000)) $((e % 1000)) "$what"
	done
}
board_zero() {
	wait_until 30 test -s "$out/board.vcd"
	start=$(ms "$(awk '$1 == "$date" { print $3; exit }' "$out/board.vcd")")
}

if [ "$mode" = hand ] && [ "${2:-}" = probe ]; then
	shift 2
	# The bring-up probe in the daemon's place, five presses asked.
	{
		wait_until 30 test -e "$image"
		buttond-probe -n 5 -t 300 --vcd "$out/probe.vcd" --csv "$out/probe.csv" > >(tee "$out/probe.out") &
		echo $! >"$out/probe.pid"
		wait $! || true
		echo "buttond-probe ended; Ctrl-D ends boardsim"
	} &
	echo "buttond-probe is starting; type gestures (tap, tap 2, down, up, tap x5, and bounce MS after any"
	echo "that moves the button); --plain keeps boardsim's lines apart from the probe's; Ctrl-D ends."
	boardsim --vcd "$out/board.vcd" "$@" || true
	# Ended before the probe: its report so far.
	[ ! -s "$out/probe.pid" ] || kill -TERM "$(cat "$out/probe.pid")" 2>/dev/null || true
	wait
	exit 0
fi
if [ "$mode" = hand ]; then
	shift
	# boardsim reads the terminal and writes the trace itself, so the
	# trace holds every toggle of a bouncing contact; the daemon starts
	# once the board image is there.
	{
		board_zero
		echo "    time  what"
		for src in syslog:syslog lumend:signals command:journal file:files; do
			tail -n +1 -F "$out/${src#*:}" 2>/dev/null | timeline "${src%%:*}" $'\r\033[K' &
		done
		buttond -d
	} &
	echo "buttond -d is starting; type gestures (hold blink, wait dark, count N, or down, up, tap, hold S, wait S;"
	echo "also hold dark, see N, count N on polls, and bounce MS after any that moves the button); Ctrl-D ends."
	boardsim --vcd "$out/board.vcd" "$@"
	trace demo "buttond -d, played by hand"
	exit 0
fi

if [ "$mode" = probe ]; then
	shift
	board_start "$@"
	echo "buttond-probe -n 5 on the simulated board${*:+ ($*)}; a person taps five times, each tap a little different"
	{
		wait_until 30 grep -qs '^press the button' "$out/probe.out"
		gesture "tap 130" "tap 210" "tap 90" "tap 170" "tap 250"
	} &
	status=0
	buttond-probe -n 5 -t 30 --vcd "$out/probe.vcd" --csv "$out/probe.csv" | tee "$out/probe.out" || status=$?
	echo "buttond-probe's status: $status"
	exit 0
fi

board_start
board_zero
machine && echo "booting the emulated board; its init script starts buttond -d"
daemon_start buttond -d
echo "buttond -d is running; holding the button until the LEDs blink, then three taps (about 20 s)"
gesture "hold blink" "wait dark" "count 3"
action_done() { [ "$(wc -l <"$out/signals")" -ge 3 ]; }
wait_until 60 eval 'action_done || gesture_failed >/dev/null' || true
sleep 0.5
echo
echo "    time  what"
{
	timeline board "" <"$out/boardsim"
	timeline syslog "" <"$out/syslog"
	timeline lumend "" <"$out/signals"
	timeline command "" <"$out/journal"
	timeline file "" <"$out/files"
} | sort -s -n -k1,1
echo
echo "/tmp/tesk_trigger now holds:"
on_board 'cat /tmp/tesk_trigger 2>/dev/null' || echo "(nothing: the gesture did not complete)"
trace demo "buttond -d: hold until the LEDs blink, then three taps; action 3 runs"
