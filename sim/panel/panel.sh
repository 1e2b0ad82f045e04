#!/usr/bin/env bash
# Runs inside the sandbox: the board panel. buttond -d on the simulated
# board (on the emulated one with BUTTOND_MACHINE), and the panel's server,
# which runs boardsim and serves the page, until Ctrl-C (or TERM); then the
# run's trace and picture, panel.vcd and panel.png, as the demo leaves them.
#   panel [--listen ADDR] [--port N] [-e press|release|both|none] [--bounce MS] [--seed N]
# The server listens on 127.0.0.1 port 8150 unless told (port 0, or one
# taken: any free one); the URL is printed and left in $SANDBOX_OUT/url,
# $SANDBOX_OUT/ready appears once the daemon runs, and server.pid holds the
# server's pid. Besides the
# sandbox's records it keeps events (boardsim's changes, as the page gets
# them) and filetext (each line of an action's file when it was written:
# time, path, line).
set -euo pipefail
# shellcheck source=../sandbox/boardlib.sh
. boardlib.sh
bin=$(cd "$(dirname "$0")" && pwd)
usage="usage: panel [--listen ADDR] [--port N] [-e press|release|both|none] [--bounce MS] [--seed N]"

listen=127.0.0.1 port=8150 sim=()
while [ $# -gt 0 ]; do
	case $1 in
	--listen | --port | -e | --bounce | --seed)
		[ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
		case $1 in
		--listen) listen=$2 ;;
		--port) port=$2 ;;
		*) sim+=("$1" "$2") ;;
		esac
		shift 2 ;;
	*) echo "panel: '$1' is not an option of the panel (boardsim's -e, --bounce and --seed are)" >&2
		echo "$usage" >&2
		exit 2 ;;
	esac
done
[[ $port =~ ^[0-9]{1,5}$ ]] || { echo "panel: --port takes a number, not '$port'" >&2; exit 2; }
[ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import aiohttp' 2>/dev/null ||
	{ echo "panel: the server needs Debian's python3-aiohttp (apt-get install python3-aiohttp)" >&2; exit 1; }

server='' files=''
stop() {
	local status=$?
	trap - EXIT INT TERM
	# The server's end closes boardsim's input: boardsim lets go of the
	# button, ends and writes its trace.
	if [ -n "$server" ]; then
		kill "$server" 2>/dev/null || true
		wait "$server" 2>/dev/null || true
	fi
	[ -z "$files" ] || kill "$files" 2>/dev/null || true
	! machine || machine_stop
	if [ -s "$out/board-full.vcd" ]; then
		trace panel "buttond -d, pressed on the panel" >/dev/null 2>&1 &&
			echo "panel: the run's trace and picture: panel.vcd, panel-full.vcd, panel.png"
	fi
	exit "$status"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The same board as board_start makes, at real-time priority where it
# may; its input is the server's.
rt=()
chrt -f 10 true 2>/dev/null && rt=(chrt -f 10)
rm -f "$out/ready" "$out/url"
: >"$out/filetext"
/usr/bin/python3 "$bin/panelserver" --out "$out" --events "$out/events" --listen "$listen" --port "$port" -- \
	"${rt[@]}" boardsim --plain -b "$byte_order" "${pages[@]}" --vcd "$out/board.vcd" \
	--events "$out/events" "${sim[@]}" &
server=$!
echo "$server" >"$out/server.pid"
wait_until 30 eval 'test -s "$out/url" && test -e "$image" || ! kill -0 "$server" 2>/dev/null'
kill -0 "$server" 2>/dev/null || exit 1
machine && echo "panel: booting the emulated board; its init script starts buttond -d"
daemon_start buttond -d || { echo "panel: buttond did not start" >&2; exit 1; }
# machine_start put its own traps in place of these.
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
echo "panel: buttond -d is running; open $(cat "$out/url") (Ctrl-C stops everything)"
touch "$out/ready"

# What an action's file holds, read where the action wrote it.
file_text() {	# STAMP PATH
	local text line
	case $2 in
	/tmp/tesk_trigger | /etc/vorn/wireless/FORCE_PROVISIONING | /etc/vorn/wireless/FORCE_PRL) ;;
	*) return 0 ;;
	esac
	text=$(on_board "head -c 4096 $2 2>/dev/null | head -n 10") || return 0
	while IFS= read -r line; do
		[ -z "$line" ] || printf '%s\t%s\t%s\n' "$1" "$2" "${line//$'\t'/ }"
	done <<<"$text" >>"$out/filetext"
}
exec {watch}< <(tail -n +1 -F "$out/files" 2>/dev/null)
files=$!
status=0
while kill -0 "$server" 2>/dev/null; do
	if IFS=$'\t' read -r -t 1 -u "$watch" stamp path; then
		file_text "$stamp" "$path"
	fi
done
wait "$server" || status=$?
server=''
exit "$status"
