# shellcheck shell=bash
# Runs the emulated board: qemu-system-ppc's g3beige (one PowerPC 750,
# 256 MiB) with the kernel and initramfs of sim/machine/build and
# sim/machine/initramfs. Source it from a bash script; every function
# works under set -euo pipefail.
#
#   machine_start DIR VMLINUX INITRAMFS [QEMU_ARG...]
#       Installs what is missing (qemu-system-ppc, seabios), starts the
#       emulator in the background and returns; its files go to
#       DIR (created): console.log (all the first serial port printed:
#       firmware, kernel, init, rcS), cmd.log (the command port), each
#       whole line of either again in console.times and cmd.times after
#       the host's wall clock when it arrived ("SECONDS.MICROS<TAB>LINE"),
#       qemu.log,
#       monitor.sock (QEMU's monitor), the FIFOs console.in/.out and
#       cmd.in/.out, and the board's pages gpio.page and led.page, or the
#       files named by MACHINE_GPIO_PAGE and MACHINE_LED_PAGE. A page file
#       that is missing, not a regular file or not 4096 bytes is made anew
#       with the board's idle words (LED word 0xFFFFFFFF, GPIO data
#       0xFFFFFFFF, latch 0). The board's flash is DIR/flash.img, or the
#       file named by MACHINE_FLASH, a virtio disk the guest mounts on
#       /etc/vorn; when missing it is made a copy of flash.img beside
#       INITRAMFS (sim/machine/image's), and without that the board has
#       none. A second start on the same DIR boots on the same flash.
#       MACHINE_APPEND adds kernel arguments.
#       Sets MACHINE_PID and MACHINE_DIR, and traps EXIT, INT and TERM to
#       stop the emulator; a caller with its own traps calls machine_stop
#       from them. Call it directly, not in $(...).
#   machine_wait REGEX [SECONDS]
#       Reads the console's lines on from where the last wait stopped
#       until one matches the extended regular expression (60 s by
#       default) and sets MACHINE_MATCH to it. Only whole lines count: a
#       prompt waiting for input is not one. On time-out, or if the emulator ended,
#       prints the console's last lines to stderr and returns 1.
#   machine_ready [SECONDS]
#       Waits for rcS's "machine: rcS done" (unless a wait already took
#       it) and for the command shell.
#   machine_run [-t SECONDS] COMMAND
#       Runs COMMAND with the guest's sh on the command port, stdin
#       /dev/null, stdout a pipe, stderr into it; prints its output and
#       returns its exit status. After SECONDS (60) without an end it interrupts the
#       command, says so on stderr and returns 124.
#   machine_exec [-t SECONDS] [-n] COMMAND
#       The same, leaving the output lines in the array MACHINE_OUT, the
#       host's wall clock in microseconds when each arrived in
#       MACHINE_OUT_AT (to the 20 ms poll) and the status in
#       MACHINE_STATUS; returns 0 unless it timed out. With -n a time-out
#       leaves the command be, interrupting nothing.
#   machine_send LINE
#       Types LINE and a newline on the console (a root shell runs there).
#   machine_clock_offset
#       Prints the guest's wall clock minus the host's and the spread of
#       the ten readings it is the largest of, in ms: "OFFSET SPREAD".
#   machine_tail [N] [console|cmd]
#       Prints the last N (20) lines of the console (or command port).
#   machine_stop
#       Stops the emulator by its pid (TERM, KILL after 5 s) and the
#       readers of its ports.
#
# On a slow machine BUTTOND_TIMEOUT_MULTIPLIER (a whole number) multiplies
# every time limit above, given or default.
#
# Ports: ttyPZ0 (ESCC channel A, the firmware's ttya) is the console: the
# kernel (quiet), init and rcS print there, and a root shell reads it.
# ttyS0, a 16550 on the PCI bus, is the command port: it carries only the
# host's commands, so no other output lands among them. Not the ESCC's
# channel B: QEMU raises each channel's line for the other's events too,
# so with both channels busy one line stays up with nothing to serve, the
# kernel disables it, and the port goes dead. Each command is sent
# base64-encoded between markers that only its execution prints: "@@B ID"
# before, "@@E ID STATUS" after.
# A command that leaves a process running should point its output
# elsewhere (a file, /dev/console): what it prints later would land in
# the output of the commands after it.
#
# The guest's clock starts from the RTC's whole seconds, and runs slow by
# 0.04 to 0.5 %, different at each boot: the kernel measures the timebase
# against the emulated VIA timer and gets 16.61 to 16.68 MHz for 16.6.
# Measure the offset with machine_clock_offset when it matters.

# shellcheck disable=SC1091 # the project's installer of missing packages
. "$(dirname "$(realpath "${BASH_SOURCE[0]}")")/../../scripts/need"

# shellcheck disable=SC2034 # MACHINE_* are for the caller
MACHINE_PID=
MACHINE_DIR=
MACHINE_MATCH=
MACHINE_OUT=()
MACHINE_OUT_AT=()
MACHINE_STATUS=
_MACHINE_DRAINS=()
_MACHINE_TICK=
_MACHINE_TICK_S=0.02
_MACHINE_BOOTED=0
declare -A _MACHINE_FD=() _MACHINE_PART=()

# Microseconds of the host's wall clock, in $1.
_machine_now() {
	local _machine_t=$EPOCHREALTIME
	printf -v "$1" '%s' "${_machine_t//[!0-9]/}"
}

# A limit of $1 seconds, a decimal fraction allowed, as microseconds in
# $2, times BUTTOND_TIMEOUT_MULTIPLIER (a whole number, 1 by default) for a
# slow machine.
_machine_limit() {
	local _machine_m=${BUTTOND_TIMEOUT_MULTIPLIER:-1}
	[[ $_machine_m =~ ^[1-9][0-9]*$ ]] ||
		{ echo "machine: BUTTOND_TIMEOUT_MULTIPLIER is a whole number from 1, not '$_machine_m'" >&2; return 2; }
	_machine_us "$1" "$2" || return
	printf -v "$2" '%d' $((${!2} * _machine_m))
}

# Seconds $1, a decimal fraction allowed, as microseconds in $2.
_machine_us() {
	local _machine_i=${1%%.*} _machine_f=000000
	[[ $1 != *.* ]] || _machine_f=${1#*.}000000
	[[ $_machine_i$_machine_f =~ ^[0-9]+$ ]] || { echo "machine: not a number of seconds: $1" >&2; return 2; }
	printf -v "$2" '%d' $((10#${_machine_i:-0} * 1000000 + 10#${_machine_f:0:6}))
}

# Waits a moment without starting a process: a read with a time-out on a
# FIFO nobody writes.
_machine_sleep() {
	read -r -t "$_MACHINE_TICK_S" -u "$_MACHINE_TICK" _ || true
}

# The next whole line the guest printed on port $1 (console or cmd), in
# _MACHINE_LINE without its carriage return; 1 if none is complete yet.
# A line still being written is kept and completed on a later call.
_machine_line() {
	local chunk=
	if IFS= read -r -u "${_MACHINE_FD[$1]}" chunk; then
		_MACHINE_LINE=${_MACHINE_PART[$1]}$chunk
		_MACHINE_LINE=${_MACHINE_LINE%$'\r'}
		_MACHINE_PART[$1]=
		[[ $1 != console || $_MACHINE_LINE != "machine: rcS done" ]] || _MACHINE_BOOTED=1
		return 0
	fi
	_MACHINE_PART[$1]+=$chunk
	return 1
}

# A page file of 4096 bytes at $1, made anew if need be as zeros with
# 0xFFFFFFFF at offset $2.
_machine_page() {
	if [ -f "$1" ] && [ ! -L "$1" ] && [ "$(stat -c %s "$1")" -eq 4096 ]; then
		return 0
	fi
	rm -rf "$1"
	head -c 4096 /dev/zero >"$1"
	printf '\377\377\377\377' | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

machine_tail() {
	local n=${1:-20} port=${2:-console}
	echo "--- last lines of $MACHINE_DIR/$port.log" >&2
	tail -n "$n" "$MACHINE_DIR/$port.log" | tr -d '\r' >&2
}

machine_start() {
	if [ $# -lt 3 ]; then
		echo "usage: machine_start DIR VMLINUX INITRAMFS [QEMU_ARG...]" >&2
		return 2
	fi
	if [ -n "$MACHINE_PID" ]; then
		echo "machine_start: an emulator already runs (pid $MACHINE_PID)" >&2
		return 1
	fi
	local dir=$1 kernel initrd gpio led f
	shift
	for f in "$1" "$2"; do
		[ -f "$f" ] || { echo "machine_start: no $f (sim/machine/build, sim/machine/initramfs)" >&2; return 1; }
	done
	# The default VGA's ROM comes from SeaBIOS.
	need qemu-system-ppc qemu-system-ppc seabios /usr/share/seabios/vgabios-stdvga.bin \
		util-linux setpriv 2>/dev/null || true
	for f in qemu-system-ppc:qemu-system-ppc /usr/share/seabios/vgabios-stdvga.bin:seabios setpriv:util-linux; do
		case ${f%:*} in
		/*) [ -e "${f%:*}" ] ;;
		*) command -v "${f%:*}" >/dev/null ;;
		esac || { echo "machine_start: ${f%:*} is missing: apt-get install ${f#*:}" >&2; return 1; }
	done
	mkdir -p "$dir"
	MACHINE_DIR=$(cd "$dir" && pwd)
	kernel=$(realpath "$1")
	initrd=$(realpath "$2")
	shift 2
	gpio=${MACHINE_GPIO_PAGE:-$MACHINE_DIR/gpio.page}
	led=${MACHINE_LED_PAGE:-$MACHINE_DIR/led.page}
	_machine_page "$gpio" $((0xC08))
	_machine_page "$led" 0
	gpio=$(realpath "$gpio")
	led=$(realpath "$led")
	local flash=${MACHINE_FLASH:-$MACHINE_DIR/flash.img} disk=()
	if [ ! -f "$flash" ] && [ -f "$(dirname "$initrd")/flash.img" ]; then
		cp --sparse=always "$(dirname "$initrd")/flash.img" "$flash"
	fi
	[ ! -f "$flash" ] ||
		disk=(-drive "file=$(realpath "$flash"),format=raw,if=none,id=flash" -device "virtio-blk-pci,drive=flash,addr=0x8")

	local p
	for p in console cmd; do
		rm -f "$MACHINE_DIR/$p.in" "$MACHINE_DIR/$p.out"
		mkfifo "$MACHINE_DIR/$p.in" "$MACHINE_DIR/$p.out"
		: >"$MACHINE_DIR/$p.log"
		: >"$MACHINE_DIR/$p.times"
	done
	rm -f "$MACHINE_DIR/.tick" "$MACHINE_DIR/monitor.sock"
	mkfifo "$MACHINE_DIR/.tick"
	exec {_MACHINE_TICK}<>"$MACHINE_DIR/.tick"

	trap machine_stop EXIT
	trap 'machine_stop; exit 130' INT
	trap 'machine_stop; exit 143' TERM
	# Paths relative to DIR keep the monitor socket's name short. Never
	# -vga none: OpenBIOS then has no output device and crawls. Should
	# this shell be killed past its traps, the emulator gets a TERM too.
	(cd "$MACHINE_DIR" && exec setpriv --pdeathsig TERM qemu-system-ppc -M g3beige -m 256 -display none -nic none -no-reboot \
		-prom-env output-device=ttya -prom-env input-device=ttya \
		-chardev pipe,id=console,path=console -serial chardev:console \
		-chardev pipe,id=cmd,path=cmd -device pci-serial,chardev=cmd,addr=0x7 \
		-monitor unix:monitor.sock,server=on,wait=off \
		-object memory-backend-file,id=gpio,size=4096,mem-path="$gpio",share=on \
		-device ivshmem-plain,memdev=gpio,addr=0x5 \
		-object memory-backend-file,id=led,size=4096,mem-path="$led",share=on \
		-device ivshmem-plain,memdev=led,addr=0x6 \
		"${disk[@]}" -kernel "$kernel" -initrd "$initrd" \
		-append "console=ttyPZ0 quiet ${MACHINE_APPEND:-}" "$@") </dev/null >"$MACHINE_DIR/qemu.log" 2>&1 &
	MACHINE_PID=$!
	_MACHINE_BOOTED=0
	# QEMU holds each FIFO read-write, so these never block; readers
	# drain the output at once, whoever waits for it.
	for p in console cmd; do
		_machine_drain "$p" &
		_MACHINE_DRAINS+=($!)
		exec {f}<"$MACHINE_DIR/$p.log"
		_MACHINE_FD[$p]=$f
		_MACHINE_PART[$p]=
		exec {f}<>"$MACHINE_DIR/$p.in"
		_MACHINE_FD[$p.in]=$f
	done
}

# Port $1's output into PORT.log as it comes, and each whole line after the
# host's wall clock when it arrived (seconds, microseconds) into
# PORT.times: what the guest reports there is timed by the host's clock,
# the one the board's trace keeps.
_machine_drain() {
	local line
	while IFS= read -r line || [ -n "$line" ]; do
		printf '%s\n' "$line" >&3
		printf '%s\t%s\n' "$EPOCHREALTIME" "$line" >&4
	done <"$MACHINE_DIR/$1.out" 3>>"$MACHINE_DIR/$1.log" 4>>"$MACHINE_DIR/$1.times"
}

machine_stop() {
	local pid i
	if [ -n "$MACHINE_PID" ]; then
		kill "$MACHINE_PID" 2>/dev/null || true
		for ((i = 0; i < 50 * ${BUTTOND_TIMEOUT_MULTIPLIER:-1}; i++)); do
			kill -0 "$MACHINE_PID" 2>/dev/null || break
			sleep 0.1
		done
		kill -KILL "$MACHINE_PID" 2>/dev/null || true
		wait "$MACHINE_PID" 2>/dev/null || true
		MACHINE_PID=
	fi
	for pid in "${_MACHINE_DRAINS[@]}"; do
		kill "$pid" 2>/dev/null || true
		wait "$pid" 2>/dev/null || true
	done
	_MACHINE_DRAINS=()
	for i in "${_MACHINE_FD[@]}"; do
		exec {i}>&-
	done
	_MACHINE_FD=()
	if [ -n "$_MACHINE_TICK" ]; then
		exec {_MACHINE_TICK}>&-
		_MACHINE_TICK=
	fi
}

# 1 with a message if the emulator has ended.
_machine_alive() {
	kill -0 "$MACHINE_PID" 2>/dev/null && return 0
	echo "machine: the emulator has ended; $MACHINE_DIR/qemu.log:" >&2
	tail -n 5 "$MACHINE_DIR/qemu.log" >&2
	return 1
}

machine_wait() {
	local regex=$1 limit=${2:-60} now end
	_machine_limit "$limit" end || return
	_machine_now now
	end=$((now + end))
	while :; do
		while _machine_line console; do
			if [[ $_MACHINE_LINE =~ $regex ]]; then
				# shellcheck disable=SC2034 # for the caller
				MACHINE_MATCH=$_MACHINE_LINE
				return 0
			fi
		done
		if ! _machine_alive; then
			machine_tail
			return 1
		fi
		_machine_now now
		if [ "$now" -ge "$end" ]; then
			echo "machine: no console line matching '$regex' within $limit s" >&2
			machine_tail
			return 1
		fi
		_machine_sleep
	done
}

machine_send() {
	printf '%s\n' "$1" >&"${_MACHINE_FD[console.in]}"
}

# The command is decoded by the guest's base64 so no character of it can
# reach the line discipline; the markers are built by printf, so the echo
# of the typed line (on again whenever init respawns the shell) never
# holds them. Its output goes through a pipe, as a test captures it: no
# colours or other terminal behaviour; pipefail, for the pipe alone,
# keeps its status.
machine_exec() {
	local limit=60 interrupt=1
	while :; do
		case ${1:-} in
		-t) limit=$2; shift 2 ;;
		-n) interrupt=0; shift ;;
		*) break ;;
		esac
	done
	local id now end line started=0
	_machine_limit "$limit" end || return
	_machine_now now
	id=$$-$RANDOM-$now
	end=$((now + end))
	MACHINE_OUT=()
	MACHINE_OUT_AT=()
	MACHINE_STATUS=
	{
		printf '%s\n' "stty -echo 2>/dev/null; PS1= PS2=; set -o pipefail; printf '@@%s %s\\n' B $id; (set +o pipefail; eval \"\$(base64 -d <<'@@EOF'"
		printf '%s\n' "$*" | base64 -w 76
		echo "@@EOF"
		printf '%s\n' ")\") </dev/null 2>&1 | cat; printf '@@%s %s %s\\n' E $id \"\$?\""
	} >&"${_MACHINE_FD[cmd.in]}"
	while :; do
		while _machine_line cmd; do
			line=$_MACHINE_LINE
			if [ $started -eq 0 ]; then
				[[ $line != *"@@B $id" ]] || started=1
			elif [[ $line =~ ^(.*)@@E\ $id\ ([0-9]+)$ ]]; then
				if [ -n "${BASH_REMATCH[1]}" ]; then
					MACHINE_OUT+=("${BASH_REMATCH[1]}")
					_machine_now "MACHINE_OUT_AT[${#MACHINE_OUT_AT[@]}]"
				fi
				MACHINE_STATUS=${BASH_REMATCH[2]}
				return 0
			else
				MACHINE_OUT+=("$line")
				_machine_now "MACHINE_OUT_AT[${#MACHINE_OUT_AT[@]}]"
			fi
		done
		_machine_alive || return 124
		_machine_now now
		if [ "$now" -ge "$end" ]; then
			[ $interrupt -eq 0 ] && return 124
			# Ctrl-C to the shell's foreground job.
			printf '\003' >&"${_MACHINE_FD[cmd.in]}"
			echo "machine: no end of '$*' within $limit s" >&2
			machine_tail 20 cmd
			return 124
		fi
		_machine_sleep
	done
}

machine_run() {
	machine_exec "$@" || return
	[ ${#MACHINE_OUT[@]} -eq 0 ] || printf '%s\n' "${MACHINE_OUT[@]}"
	return "$MACHINE_STATUS"
}

# The kernel calibrates its timebase against the emulated VIA timer at
# boot; on a busy host the emulator is descheduled mid-measure and the
# guest's seconds come out several percent long or short. Says so when
# they are off by more than 2 %, as every timing in the guest is then.
_machine_clock_rate() {
	local rate
	rate=$(machine_run "dmesg | sed -n 's/.*decrementer frequency = \([0-9.]*\) MHz.*/\1/p'
		od -An -tu4 /proc/device-tree/cpus/*/timebase-frequency" 2>/dev/null | xargs) || return 0
	awk -v r="$rate" 'BEGIN { split(r, f, " "); if (f[1] == "" || f[2] == "") exit
		off = 100 * (f[1] * 1e6 / f[2] - 1)
		if (off > 2 || off < -2)
			printf("machine: the guest'\''s clock runs %.1f %% %s (timebase calibrated at %s MHz, %.3f MHz in truth): a busy host\n",
				off < 0 ? -off : off, off > 0 ? "slow" : "fast", f[1], f[2] / 1e6) > "/dev/stderr" }'
}

machine_ready() {
	local limit=${1:-60}
	[ "$_MACHINE_BOOTED" -eq 1 ] || machine_wait '^machine: rcS done$' "$limit" || return 1
	# The shell on ttyS0 starts after rcS; input sent before then may
	# go nowhere, so ask until it answers, more patiently each time (a
	# busy host slows the emulator a great deal), within the limit.
	# An unanswered question is never followed by a Ctrl-C: BusyBox init
	# vforks the shell, and the child logs to syslog in init's memory
	# once ttyS0 is its terminal. A SIGINT there kills it holding
	# glibc's syslog lock, and init's next message waits on that lock
	# forever, or on a kernel without 32-bit time calls (no plain futex)
	# aborts and the kernel panics.
	local wait=1 end now
	_machine_limit "$limit" end || return
	_machine_now now
	end=$((now + end))
	while :; do
		machine_exec -n -t "$wait" true && { _machine_clock_rate; return 0; }
		_machine_now now
		[ "$now" -lt "$end" ] || break
		[ "$wait" -ge 4 ] || wait=$((wait * 2))
	done
	echo "machine: the command shell on ttyS0 does not answer" >&2
	machine_tail 20 cmd
	return 1
}

machine_clock_offset() {
	# The guest reads its clock ten times in a row and the host stamps each
	# line as it arrives, polling every millisecond. Each difference is
	# the offset less that line's delay in reaching the host, so the
	# largest is the best estimate; the spread shows how much delays vary.
	local tick=$_MACHINE_TICK_S i d max='' min=''
	_MACHINE_TICK_S=0.001
	# shellcheck disable=SC2016 # the guest's shell expands it
	machine_exec -t 20 'i=0; while [ $i -lt 10 ]; do date +%s%N; i=$((i + 1)); done' || {
		_MACHINE_TICK_S=$tick
		return 1
	}
	_MACHINE_TICK_S=$tick
	for ((i = 0; i < ${#MACHINE_OUT[@]}; i++)); do
		[[ ${MACHINE_OUT[i]} =~ ^[0-9]+$ ]] || { echo "machine: guest clock read as '${MACHINE_OUT[i]}'" >&2; return 1; }
		d=$((MACHINE_OUT[i] / 1000 - MACHINE_OUT_AT[i]))
		if [ -z "$max" ] || [ "$d" -gt "$max" ]; then max=$d; fi
		if [ -z "$min" ] || [ "$d" -lt "$min" ]; then min=$d; fi
	done
	echo "$((max / 1000)) $(((max - min) / 1000))"
}
