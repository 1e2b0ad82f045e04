# Sourced inside the sandbox by the demo, the end-to-end tests and the
# benchmarks: starts the simulated board and the daemon, plays gestures,
# waits for what the daemon logs.
out=$SANDBOX_OUT
image=/dev/shm/buttond-board
pidfile=/var/run/buttond.pid

# wait_until SECONDS COMMAND...: polls until COMMAND succeeds.
wait_until() {
	local end=$((SECONDS + $1))
	shift
	until "$@"; do
		[ $SECONDS -lt $end ] || return 1
		sleep 0.1
	done
}
logged() { cut -f5 "$out/syslog" | grep -q -- "$1"; }
logged_times() { cut -f5 "$out/syslog" | grep -c -- "$1" || true; }

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

# boardsim reads gestures from a FIFO held open on descriptor 3; it traces
# the board into board.vcd. It runs at real-time priority where it may, as
# hardware is never late: on a busy machine its view of the LEDs, and so
# the trace, stays true to the millisecond.
board_start() {
	local rt=()
	chrt -f 10 true 2>/dev/null && rt=(chrt -f 10)
	mkfifo "$out/gestures"
	"${rt[@]}" boardsim --plain --stay -b $byte_order --vcd "$out/board.vcd" <"$out/gestures" >"$out/boardsim" 2>&1 &
	exec 3>"$out/gestures"
	wait_until 5 test -e $image
}
gesture() { printf '%s\n' "$@" >&3; }
# What boardsim said of a gesture whose sight never came; false if none.
gesture_failed() { grep 'never came' "$out/boardsim"; }

# buttond ARGS without our descriptor 3; true once it has written its pid.
daemon_start() {
	"$@" 3>&-
	wait_until 30 logged "^Writing pid"
}

# trace NAME: the board's trace with the daemon's side merged in, as
# NAME.vcd (wires, any viewer) and NAME-full.vcd (GTKWave), drawn as NAME.png.
trace() {
	tracemerge "$out/board-full.vcd" "$out" "$out/$1.vcd" &&
		MPLCONFIGDIR=/tmp/matplotlib traceplot "$out/$1-full.vcd" "$out/$1.png" "${2:-buttond}"
}
