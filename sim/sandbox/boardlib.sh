# shellcheck shell=bash
# Sourced inside the sandbox by the demo, the end-to-end tests and the
# benchmarks: starts the simulated board and the daemon, plays gestures,
# waits for what the daemon logs.
out=$SANDBOX_OUT
image=/dev/shm/buttond-board
pidfile=/var/run/buttond.pid

# Every limit of the rig and the scenarios is so many times its own, for a
# slow machine (the sandbox has checked it is a whole number).
timeouts=${BUTTOND_TIMEOUT_MULTIPLIER:-1}

# wait_until SECONDS COMMAND...: polls until COMMAND succeeds, for SECONDS
# times the multiplier.
wait_until() {
	local end=$((SECONDS + $1 * timeouts))
	shift
	until "$@"; do
		[ $SECONDS -lt $end ] || return 1
		sleep 0.1
	done
}
logged() { cut -f5 "$out/syslog" | grep -q -- "$1"; }
logged_times() { cut -f5 "$out/syslog" | grep -c -- "$1" || true; }

# ms HH:MM:SS.mmm: a record's stamp as milliseconds since midnight.
ms() {
	local h=${1%%:*} rest=${1#*:}
	local m=${rest%%:*} sec=${rest#*:}
	local frac=${sec#*.}
	echo $(((10#$h * 3600 + 10#$m * 60 + 10#${sec%.*}) * 1000 + 10#${frac:0:3}))
}

# The PowerPC daemon under qemu-user stands in for the host one when
# BUTTOND_EMULATED names it: on a copy of its sysroot without the C++
# runtime, as on a libc-only firmware image, and with the board image in
# big-endian words. BUTTOND_FAKETIME sets its wall clock (libfaketime in
# the emulator, hidden from the daemon and its commands).
byte_order=host
if [ -n "${BUTTOND_EMULATED:-}" ]; then
	byte_order=big
	mkdir -p /mnt/emu/root
	cp -a "$BUTTOND_QEMU_SYSROOT/lib" /mnt/emu/root/
	rm -f /mnt/emu/root/lib/libstdc++* /mnt/emu/root/lib/libgcc_s*
	cat >/mnt/emu/buttond <<-EOF
		#!/bin/sh
		if [ -n "\${BUTTOND_FAKETIME:-}" ]; then
			export LD_PRELOAD=$(echo /usr/lib/*/faketime/libfaketime.so.1)
			export FAKETIME="\$BUTTOND_FAKETIME"
		fi
		exec qemu-ppc -U LD_PRELOAD -L /mnt/emu/root "$BUTTOND_EMULATED" "\$@"
	EOF
	chmod 755 /mnt/emu/buttond
	PATH=/mnt/emu:$PATH
fi

# The emulated board stands in for the whole world when BUTTOND_MACHINE
# names the boot files of sim/machine/image: the shipped daemon on a
# PowerPC kernel under qemu-system-ppc, started at boot by its init script
# with BusyBox's userland; its two register pages are files that boardsim
# drives in big-endian words. What the guest reports on its console (its
# syslog, the stand-ins' records) becomes the same records as here, timed
# by the host's clock as it arrives.
pages=()
if [ -n "${BUTTOND_MACHINE:-}" ]; then
	byte_order=big
	pages=(--led-page /dev/shm/led.page --gpio-page /dev/shm/gpio.page)
	image=/dev/shm/gpio.page
	# shellcheck disable=SC1091 # the emulator library
	. "$BUTTOND_MACHINE/machine.sh"
fi
machine() { [ -n "${BUTTOND_MACHINE:-}" ]; }

# A shell command in the board's world: here, or in the guest.
on_board() {
	if machine; then
		machine_run "$1"
	else
		sh -c "$1"
	fi
}
daemon_pid() { on_board "cat $pidfile"; }

# The guest's console lines, stamped on arrival, as records: "@log LINE"
# (BusyBox syslogd's) to syslog, "@rec KIND<TAB>FIELDS" to KIND.
machine_records() {
	local -A level=([emerg]=0 [alert]=1 [crit]=2 [err]=3 [warn]=4 [notice]=5 [info]=6 [debug]=7)
	local re='^[A-Z][a-z]+ +[0-9]+ [0-9:]+ [^ ]+ ([a-z0-9]+)\.([a-z]+) ([^ :]+): (.*)$'
	local line at t kind
	export TZ=UTC
	tail -n +1 -F "$MACHINE_DIR/console.times" 2>/dev/null | while IFS= read -r line; do
		line=${line%$'\r'}
		at=${line%%$'\t'*} line=${line#*$'\t'}
		printf -v t '%(%H:%M:%S)T.%s' "${at%.*}" "${at#*.}"
		t=${t:0:12}
		case $line in
		*"@rec "*)
			line=${line#*@rec }
			kind=${line%%$'\t'*}
			printf '%s\t%s\n' "$t" "${line#*$'\t'}" >>"$out/$kind" ;;
		*"@log "*)
			[[ ${line#*@log } =~ $re ]] || continue
			printf '%s\t%s\t%s\t%s\t%s\n' "$t" "${BASH_REMATCH[1]}" \
				"${level[${BASH_REMATCH[2]}]:-${BASH_REMATCH[2]}}" "${BASH_REMATCH[3]}" \
				"${BASH_REMATCH[4]}" >>"$out/syslog" ;;
		esac
	done
}

# Boots the emulated board with the daemon's arguments, as the start script
# reads them from /etc/default/buttond, and BUTTOND_KERNEL_ARGS; its
# killall starts BUTTOND_SLOW_KILLALL seconds late, as the sandbox's does.
# BUTTOND_FAKETIME sets the guest's clock once it is up.
machine_boot() {
	MACHINE_GPIO_PAGE=/dev/shm/gpio.page MACHINE_LED_PAGE=/dev/shm/led.page \
		MACHINE_APPEND="buttond.args=$(IFS=,; echo "$*") buttond.slow_killall=${BUTTOND_SLOW_KILLALL:-0} ${BUTTOND_KERNEL_ARGS:-}" \
		machine_start "$out/machine" "$BUTTOND_MACHINE/vmlinux" "$BUTTOND_MACHINE/initramfs.cpio.gz"
	# One reader of the records for every boot: it follows the console's
	# file through a new boot's truncation.
	[ -n "${records_pid:-}" ] && kill -0 "$records_pid" 2>/dev/null || {
		machine_records &
		records_pid=$!
	}
	machine_ready 60 || return
	[ -z "${BUTTOND_FAKETIME:-}" ] || machine_run "date -s '${BUTTOND_FAKETIME#@}' >/dev/null"
}

# boardsim reads gestures from a FIFO held open on descriptor 3; it traces
# the board into board.vcd and keeps its responder's figures in rig. Its
# responder runs at real-time priority where it may, as hardware is never
# late: on a busy machine the daemon's clears are answered at once, its
# view of the LEDs, and so the trace, stays true to the millisecond, and a
# chattering contact's toggles come on time. board_start [BOARDSIM OPTION...]
board_start() {
	mkfifo "$out/gestures"
	boardsim --plain --stay -b $byte_order "${pages[@]}" --vcd "$out/board.vcd" --figures "$out/rig" "$@" \
		<"$out/gestures" >"$out/boardsim" 2>&1 &
	# shellcheck disable=SC2034 # for the scenarios that stop it
	board_pid=$!
	exec 3>"$out/gestures"
	wait_until 30 test -e $image
}
# What boardsim said of its own faults: a responder away so long that the
# daemon may have read its own clear back as a press. False if none.
rig_faults() { grep 'rig fault' "$out/boardsim" 2>/dev/null; }
# What it said of the whole machine standing still, the daemon with it
# (a virtual machine paused by its host), or of the responder's CPU alone
# standing still while its second answered the clears. False if nothing.
machine_stalls() { grep -E 'machine stall|slow CPU' "$out/boardsim" 2>/dev/null; }
gesture() { printf '%s\n' "$@" >&3; }
# What boardsim said of a gesture whose sight never came; false if none.
gesture_failed() { grep 'never came' "$out/boardsim"; }

# buttond ARGS without our descriptor 3 (on the emulated board, a boot
# with ARGS); true once it has written its pid.
daemon_start() {
	if machine; then
		shift
		machine_boot "$@" 3>&- || return
	else
		"$@" 3>&-
	fi
	wait_until 30 logged "^Writing pid"
}

# trace NAME: the board's trace with the daemon's side merged in, as
# NAME.vcd (wires, any viewer) and NAME-full.vcd (GTKWave), drawn as NAME.png.
trace() {
	tracemerge "$out/board-full.vcd" "$out" "$out/$1.vcd" &&
		MPLCONFIGDIR=/tmp/matplotlib traceplot "$out/$1-full.vcd" "$out/$1.png" "${2:-buttond}"
}
