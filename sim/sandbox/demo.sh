#!/usr/bin/env bash
# Runs inside the sandbox: starts buttond -d on the simulated board and
# prints one timeline of what happens. "play" (default) plays the typical
# gesture, hold and three taps; "hand" hands the board to the terminal.
set -euo pipefail
. boardlib.sh
mode=${1:-play}
s0=$(date -u +%T.%3N)

ms() {
	local h=${1%%:*} rest=${1#*:}
	local m=${rest%%:*} sec=${rest#*:}
	echo $(((10#$h * 3600 + 10#$m * 60 + 10#${sec%.*}) * 1000 + 10#${sec#*.}))
}
start=$(ms "$s0")
names=(emerg alert crit err warning notice info debug)

# One source's records as timeline lines, in seconds since start.
follow() {
	local src=$1 pre=$2
	tail -n +1 -F "$3" 2>/dev/null | while IFS=$'\t' read -r t a b c d; do
		local e=$(($(ms "$t") - start))
		[ $e -ge 0 ] || e=$((e + 86400000))
		case $src in
		syslog) what="syslog   $a.${names[b]:-$b} \"$d\"" ;;
		lumend) what="lumend   got $a" ;;
		command) what="command  $a $b" ;;
		board) what="board    $a $b" ;;
		esac
		printf '%s%4d.%02d  %s\n' "$pre" $((e / 1000)) $((e % 1000 / 10)) "$what"
	done &
}

pre=
[ "$mode" = hand ] && pre=$'\r\033[K'
echo "   time  what"
follow syslog "$pre" "$out/syslog"
follow lumend "$pre" "$out/signals"
follow command "$pre" "$out/journal"

if [ "$mode" = hand ]; then
	echo "buttond -d is starting; type gestures (down, up, tap [MS] [xN], hold S, wait S); Ctrl-D ends."
	boardsim --stay >/dev/null </dev/null &
	sleep 0.2
	buttond -d
	boardsim
	exit 0
fi

board_start
follow board "" "$out/boardsim"
daemon_start buttond -d
gesture "hold 5.5" "wait 2.5" "tap x3"
action_done() { [ "$(wc -l <"$out/signals")" -ge 3 ]; }
wait_until 30 action_done || true
sleep 0.5
echo
echo "/tmp/tesk_trigger now holds:"
cat /tmp/tesk_trigger 2>/dev/null || echo "(nothing: the gesture did not complete)"
