#!/usr/bin/env bash
# End-to-end scenarios: the real buttond and boardsim in the sandbox, in
# real time. Run as: sandbox --quiet -- bash scenarios.sh NAME
set -euo pipefail
# shellcheck source=../../sim/sandbox/boardlib.sh
. boardlib.sh

# A stall of the rig is the rig's fault, whatever it made the daemon do;
# after the whole machine stood still, nobody's for sure.
fail() {
	local faults
	if faults=$(rig_faults); then
		echo "RIG FAULT, not the daemon's: $faults" >&2
		echo "(what the scenario then found: $*)" >&2
	elif faults=$(machine_stalls); then
		echo "MACHINE STALL, the trace's stamps or the daemon stood still: $faults" >&2
		echo "(what the scenario then found: $*)" >&2
	else
		echo "FAIL: $*" >&2
	fi
	for f in syslog signals journal boardsim; do echo "--- $f"; cat "$out/$f"; done >&2
	! machine || machine_tail 30
	rig_figures
	exit 1
}
# The responder's figures of the run, kept where BUTTOND_RIG_LOG says.
rig_figures() {
	[ -z "${BUTTOND_RIG_LOG:-}" ] || [ ! -s "$out/rig" ] ||
		printf '%s %s\n' "${BUTTOND_SCENARIO:-$name}" "$(cat "$out/rig")" >>"$BUTTOND_RIG_LOG"
}
lines() { wc -l <"$1"; }
at_least() { [ "$(lines "$1")" -ge "$2" ]; }
verdicts() { logged_times '^Running Command\|^ No Command'; }
# buttond's lines as "PRIORITY TEXT", facility checked on the way.
daemon_log() {
	awk -F'\t' '$4 == "buttond" { if ($2 != "user") print "bad facility " $2; print $3 " " $5 }' "$out/syslog"
}
expect_same() {	# WHAT EXPECTED ACTUAL
	[ "$2" = "$3" ] || fail "$1 differs:"$'\n'"$(diff <(echo "$2") <(echo "$3") || true)"
}

board() { board_start "$@" || fail "no board image"; }
start_daemon() { daemon_start buttond "$@" || fail "daemon did not start"; }
# Until the daemon's Nth verdict, or the gesture's failure, which fails.
finish() {
	wait_until 60 eval 'gesture_failed >/dev/null || [ "$(verdicts)" = '"$1"' ]' || fail "the selection did not finish"
	! gesture_failed >/dev/null || fail "$(gesture_failed)"
}
# Until lumend has had N signals, and a moment for any one too many.
signalled() { wait_until 30 at_least "$out/signals" "$1" || fail "lumend missed a signal"; sleep "${2:-0.3}"; }
# A whole selection of N presses as a person makes it, watching the LEDs,
# until lumend has its last SIGUSR2.
select_count() {
	local signals verdict
	signals=$(lines "$out/signals") verdict=$(($(verdicts) + 1))
	gesture "hold blink" "wait dark" "count $1"
	finish $verdict
	signalled $((signals + ($1 >= 16 ? 2 : 3)))
}
# Sixteen presses cancel: no action, and lumend told only of the selection.
cancelled() {
	expect_same "log tail" "5  Button Pressed 15
5  Button Pressed 16
5  No Command selected. Clearing." "$(daemon_log | tail -n 3)"
	expect_same "signals" "SIGUSR1 SIGUSR2" "$(cut -f2 "$out/signals" | xargs)"
}

typical() {
	board && start_daemon -d
	select_count 3
	expect_same "log" "6 program starting v1.02
5 Writing pid $(daemon_pid) to pidfile '$pidfile'
5 Start of button hold...
5  Button was held for 4 SEC...
5  Button Pressed 1
5  Button Pressed 2
5  Button Pressed 3
5 Running Command for Action 3." "$(daemon_log)"
	expect_same "signals" "SIGUSR1 SIGUSR2 SIGUSR2" "$(cut -f2 "$out/signals" | xargs)"
	trace typical >/dev/null || fail "no trace"
	trace_check "$out/typical"
	select_count 3	# the trigger file is replaced, not appended to
	expect_same "trigger file" "1 User Button Checkin" \
		"$(on_board 'wc -l </tmp/tesk_trigger; cat /tmp/tesk_trigger' | xargs)"
}

# What the LEDs showed, one number a change, from boardsim's records.
leds_seen() { awk -F'\t' '$2 == "leds" { n = split($3, f, " "); printf "%s ", f[n] }' "$out/boardsim"; }

# The typical gesture on a contact that chatters for 10 ms at every press
# and release, each put on a selection poll: still one count a press.
bounce() { bounce_check "--bounce 10" 3 "hold blink" "wait dark" "count 3 on polls"; }
# Both edges latched, the hold kept through the blink and let go once the
# selection has begun: its release is no press, so three taps make three.
bounce_both() { bounce_check "-e both --bounce 10" 3 "hold dark" "count 3 on polls"; }
# The press edge latched, as boards should set it, and a contact that
# chatters for 10 ms: the hold let go once the LEDs are dark after the
# blink, then two taps. The release's chatter latches press edges, and
# none of them counts.
late_release() { bounce_check "--bounce 10" 2 "hold dark" "wait 0.3" "count 2"; }
bounce_check() {	# BOARDSIM-OPTIONS COUNT GESTURE...
	local n=$2 i counts=""
	# shellcheck disable=SC2086 # the options as the scenario gives them
	board $1 && start_daemon -d
	shift 2
	gesture "$@"
	finish 1
	for ((i = 1; i <= n; i++)); do counts+=$'\n'"5  Button Pressed $i"; done
	expect_same "log" "5 Start of button hold...
5  Button was held for 4 SEC...$counts
5 Running Command for Action $n." "$(daemon_log | tail -n +3)"
	signalled 3 0.5
	expect_same "LEDs" "0 15 0 15 0 15 0 15 0 $(seq -s ' ' "$n") 0 $n 0 $n 0 $n 0 $n 0 " "$(leds_seen)"
}

# The emulated board's own wall clock stepped back a day (date -s, as NTP
# or an operator would) after the sixth of sixteen presses: the window
# neither ends nor lengthens, and the sixteenth press still cancels.
clock_step() {
	board && start_daemon -d
	gesture "hold blink" "wait dark" "count 6"
	wait_until 60 eval 'gesture_failed >/dev/null || [ "$(leds_seen | awk "{ print \$NF }")" = 6 ]' ||
		fail "the count 6 never came"
	on_board 'date -s "@$(($(date +%s) - 86400))" >/dev/null' || fail "date -s"
	gesture "count 10"
	finish 1
	signalled 2 0.5
	cancelled
}

# The typical gesture, the wall clock crossing 2^31 s while selection is open.
y2038() {
	export BUTTOND_FAKETIME="@2038-01-19 03:13:58"
	typical
	# BusyBox's date +%s reads -1 past 2^31 s with this glibc; awk does not.
	! machine || [ "$(on_board "awk 'BEGIN { srand(); print srand() }'")" -gt 2147483647 ] ||
		fail "the board's clock did not pass 2^31 s"
}

# Variables and value changes, string values aside (fst2vcd escapes them).
vcd_gist() { awk '$1 == "$var" { print $2, $4, $5 }' "$1"; sed -e '1,/enddefinitions/d' -e 's/^s.* /s /' "$1" | sort; }
# The trace read back as GTKWave reads it, through vcd2fst: nothing lost.
vcd_reads() {
	vcd2fst "$1" "$1.fst" >/dev/null && fst2vcd "$1.fst" >"$1.back" || fail "vcd2fst $1"
	expect_same "$1 after vcd2fst" "$(vcd_gist "$1")" "$(vcd_gist "$1.back")"
}
# The typical gesture as a logic analyzer sees it: sigrok reads the wires
# back a millisecond a row. Only order, counts and bounds that a fault alone
# breaks, so a busy machine passes: the pin shows the hold and three taps;
# the blink starts no sooner than four seconds into the hold; no blink half
# is shorter than a sleep allows; each count follows its release within a
# few polls; the window closes five seconds after the counting poll, give or
# take a few polls; lumend is high from the confirmed hold until after the
# verdict's blink. The upper bounds grow with the timeout multiplier.
trace_check() {
	local f problems
	for f in "$1.vcd" "$1-full.vcd"; do vcd_reads "$f"; done
	/usr/bin/python3 -c 'import sys, matplotlib.pyplot as p; i = p.imread(sys.argv[1])
assert i.shape[0] >= 600 and i.shape[1] >= 1200 and i[..., :3].std(axis=(0, 1)).max() > 0.05' "$1.png" || fail "picture"
	problems=$(sigrok-cli -I vcd:downsample=1000 -i "$1.vcd" -O csv:header=false:label=channel | awk -F, -v m="$timeouts" '
		function outside(what, x, lo, hi) { if (x < lo || x > hi) print what ": " x " ms, not " lo " to " hi }
		/^META/ { next }
		!cols { for (i = 1; i <= NF; i++) c[$i] = i; cols = 1; next }
		{ b = $c["button_n"]; s = $c["lumend"]; v = $c["led0"] + 2 * $c["led1"] + 4 * $c["led2"] + 8 * $c["led3"] }
		t && b != pb { if (b) up[n] = t; else down[++n] = t }
		t && v != pv { at[++k] = t; seq = seq " " v }
		t && s != ps { if (s) rise = t; else if (!fall) fall = t }
		{ pb = b; pv = v; ps = s; t++ }
		END {
			if (n != 4 || seq != " 15 0 15 0 15 0 15 0 1 2 3 0 3 0 3 0 3 0 3 0") { print n " presses, LEDs" seq; exit }
			outside("blink after the press", at[1] - down[1], 4000, 60000 * m)
			for (i = 2; i <= 19; i++) if (i < 9 || i > 12) outside("blink half " i, at[i] - at[i - 1], 200, 1000 * m)
			for (i = 2; i <= 4; i++) outside("count " i - 1 " after its release", at[i + 7] - up[i], 0, 1000 * m)
			outside("window", at[12] - at[11], 4950, 5000 + 1000 * m)
			if (rise < down[1] + 4000 || rise > at[12] || fall < at[19]) print "lumend " rise " to " fall
		}')
	[ -z "$problems" ] || fail "trace: $problems"
}

actions() {
	board && start_daemon
	select_count 1
	# Each command ends in "&> /dev/null": BusyBox's ash reads a redirection
	# and waits for the command, dash reads "&" and does not. The tallyrep
	# stand-in records itself after a second's work, so a daemon that waits
	# darkens the LEDs about when the record comes, one that does not a
	# second before. Each recorder stamps what it sees when it sees it, so
	# the two may share a millisecond or swap: half a second decides.
	local shell=background ran=background finished dark
	[ "$(on_board 'basename "$(readlink -f /bin/sh)"')" = busybox ] && shell=foreground
	wait_until 30 at_least "$out/journal" 1 || fail "tallyrep did not run"
	finished=$(head -n 1 "$out/journal" | cut -f1)
	dark=$(awk -F'\t' '$2 == "leds" && $3 ~ / 0$/ { t = $1 } END { print t }' "$out/boardsim")
	[ "$(ms "$dark")" -gt $(($(ms "$finished") - 500)) ] && ran=foreground
	expect_same "where action 1 ran" "$shell" "$ran"
	for n in 2 4 5 6; do select_count $n; done
	wait_until 30 at_least "$out/journal" 3 || true
	expect_same "journal" "tallyrep	-auto
tallyrep	-i -l -s buttonpush
factory_reset	" "$(cut -f2- "$out/journal")"
	for m in FORCE_PROVISIONING FORCE_PRL; do
		on_board "[ -f /etc/vorn/wireless/$m ] && [ ! -s /etc/vorn/wireless/$m ]" || fail "no marker $m"
	done
}

# A gesture whose sight never comes fails in one line that names it, lets
# go of the button and drops what was queued behind it.
driver() {
	board
	gesture "hold blink 0.5" "tap"
	wait_until 30 gesture_failed >/dev/null || fail "the gesture did not give up"
	expect_same "failure" 'boardsim: line 1: "hold blink 0.5": the selection blink never came in 0.5 s (the LEDs show 0)' \
		"$(gesture_failed)"
	sleep 0.5
	expect_same "button" "down up" "$(awk -F'\t' '$2 == "button" && NR > 3 { print $3 }' "$out/boardsim" | xargs)"
	# A word after the failure waits its own time afresh.
	gesture "hold blink 5"
	sleep 1.5
	[ "$(gesture_failed | wc -l)" = 1 ] || fail "the next word failed at once: $(gesture_failed)"
}

# A stall of the rig is told as the rig's: boardsim stopped for 150 ms in
# a selection reports a rig fault with the figure, and a check that fails
# after it is reported as the rig's fault, not the daemon's. Stopped with
# its witness and the daemon, as when the whole machine stands still, or
# its responder's CPU alone taken, it tells those apart.
stop_for_150ms() { kill -STOP "$@"; sleep 0.15; kill -CONT "$@"; }
rig_stall() {
	unset BUTTOND_RIG_LOG	# a stall on purpose is no figure of the rig's
	board && start_daemon -d
	gesture "hold blink" "wait dark" "count 1"
	wait_until 30 eval '[ "$(leds_seen | awk "{ print \$NF }")" = 1 ]' || fail "the count 1 never came"
	sleep 0.3
	local all witness
	read -r -a witness < <(cat /proc/"$board_pid"/task/*/children) || true
	all=("$board_pid" "$(daemon_pid)" "${witness[@]}")
	[ ${#all[@]} = 3 ] || fail "boardsim and its witness: ${all[*]}"
	stop_for_150ms "${all[@]}"
	wait_until 30 machine_stalls >/dev/null || fail "boardsim did not report the machine's stall"
	! rig_faults >/dev/null || fail "the machine's stall taken for the rig's"
	# The responder's CPU taken for 150 ms, as a virtual machine's host
	# may take one: the second thread answers the clears meanwhile.
	local primary cpu
	primary=$(find /proc/"$board_pid"/task -mindepth 1 -maxdepth 1 -printf '%f\n' | sort -n | sed -n 2p)
	cpu=$(awk '$1 == "Cpus_allowed_list:" { print $2 }' /proc/"$board_pid"/task/"$primary"/status)
	if [[ $cpu =~ ^[0-9]+$ ]] && chrt -f 20 true 2>/dev/null; then
		# shellcheck disable=SC2016 # the hog's own shell expands them
		chrt -f 20 taskset -c "$cpu" sh -c \
			'end=$(($(date +%s%N) + 150000000)); while [ "$(date +%s%N)" -lt $end ]; do :; done'
		wait_until 30 eval 'machine_stalls | grep -q "slow CPU"' || fail "boardsim did not report its slow CPU"
		! rig_faults >/dev/null || fail "the responder's slow CPU taken for a stalled rig"
	fi
	stop_for_150ms "$board_pid"
	wait_until 30 rig_faults >/dev/null || fail "boardsim did not report its stall"
	[[ $(rig_faults) =~ "rig fault: the rig was away "(1[5-9][0-9]|[2-9][0-9][0-9])\.[0-9]" ms" ]] ||
		fail "the stall's report: $(rig_faults)"
	local said
	said=$( (fail "a check after the stall") 2>&1 >/dev/null || true)
	[[ $said == "RIG FAULT, not the daemon's: boardsim: rig fault: "* ]] || fail "reported as: ${said%%$'\n'*}"
	echo "PASS: rig_stall"
	exit 0
}

# A failure the rig explains runs again (rerun.sh): the first run stops
# boardsim for 150 ms in the selection blink, whose halves the trace
# judges, and so must fail as the rig's; the second, left alone, passes.
rig_rerun() {
	unset BUTTOND_RIG_LOG	# a stall on purpose is no figure of the rig's
	board && start_daemon -d
	if [ "${BUTTOND_RUN:-1}" = 1 ]; then
		gesture "hold blink"
		wait_until 30 eval '[ "$(leds_seen | awk "{ print \$NF }")" = 15 ]' || fail "the blink never came"
		stop_for_150ms "$board_pid"
		wait_until 30 rig_faults >/dev/null || fail "boardsim did not report its stall"
		gesture "wait dark" "count 1"
	else
		select_count 1
	fi
	wait_until 60 eval '[ "$(verdicts)" = 1 ]' || fail "the selection did not finish"
}

# The wrong expectation, without a stall: fails on its first run, and must
# never run again (CTest expects it to fail; a second run would pass).
no_rerun() {
	[ "${BUTTOND_RUN:-1}" = 1 ] || { echo "PASS: a daemon's failure run again"; exit 0; }
	board && start_daemon -d
	select_count 1
	expect_same "verdict" "Running Command for Action 2." "$(daemon_log | grep -m 1 Running | cut -d' ' -f2-)"
}

# The emulated daemon's system calls through a gesture and its action. A
# kernel built for past 2038 has none of the 32-bit-time calls: the sleeps
# and the clock must take the 64-bit ones (407, clock_nanosleep_time64, and
# 403, clock_gettime64, which qemu-ppc 7.2 names only by number), and since
# glibc 2.36 still waits on its locks with the old futex call, a lock the
# daemon ever contended would abort it.
time_calls() {
	board
	qemu-ppc -strace -L /mnt/emu/root "$BUTTOND_EMULATED" 2>"$out/strace" 3>&-
	wait_until 30 logged "^Writing pid" || fail "daemon did not start"
	select_count 3
	wait_until 30 logged "^Running Command for Action 3" || fail "action 3 did not run"
	local old32 calls
	old32='time|stime|utimes?|futimesat|utimensat|nanosleep|clock_(gettime|settime|getres|nanosleep|adjtime)'
	old32+='|timer(fd)?_(gettime|settime)|io_getevents|pselect6|ppoll|recvmmsg|semtimedop'
	old32+='|mq_timed(send|receive)|rt_sigtimedwait|futex|sched_rr_get_interval|adjtimex'
	calls=$(grep -oE "^[0-9]+ ($old32)\(" "$out/strace" | cut -d' ' -f2 | sort | uniq -c | xargs || true)
	[ -z "$calls" ] || fail "32-bit-time calls: $calls"
	[ "$(grep -cE '^[0-9]+ (Unknown syscall 407|clock_nanosleep_time64\()' "$out/strace")" -ge 20 ] ||
		fail "no 64-bit-time sleeps: $(grep -i sleep "$out/strace" | head -n 3)"
	# The selection's window reads the monotonic clock the same way (403).
	[ "$(grep -cE '^[0-9]+ (Unknown syscall 403|clock_gettime64\()' "$out/strace")" -ge 20 ] ||
		fail "no 64-bit-time clock readings: $(grep -i clock "$out/strace" | head -n 3)"
}

# The emulated board with a driver's claim on the GPIO page (the kernel's
# reserve=, which marks it busy): STRICT_DEVMEM and IO_STRICT_DEVMEM refuse
# the mapping, so the daemon says so and ends with 1, at boot and again.
claimed_page() {
	board
	BUTTOND_KERNEL_ARGS="reserve=0xE0000000,0x1000" machine_boot 3>&- || fail "no boot"
	wait_until 30 logged "^Error mapping /dev/mem, exiting" || fail "the mapping was not refused"
	expect_same "statuses" "@status 0
@status 1" "$(on_board 'reap /usr/sbin/buttond' | sed 's/^@status [0-9]* /@status /')"
	[ "$(logged_times '^Error mapping')" = 2 ] || fail "the second start did not say why it ended"
}

short_hold() {
	board && start_daemon
	gesture "hold 2"
	wait_until 30 logged "Was not held" || fail "no verdict on the short hold"
	expect_same "log" "5 Start of button hold...
5  Was not held long enough.  Cleared." "$(daemon_log | tail -n 2)"
	[ "$(lines "$out/signals")" = 0 ] || fail "lumend was signalled"
}

cancel() {
	board && start_daemon -d
	select_count 16
	cancelled
	[ "$(lines "$out/journal")" = 0 ] && on_board '[ ! -e /tmp/tesk_trigger ]' || fail "an action ran"
}

second_copy() {
	board && start_daemon
	local first refusal
	first=$(daemon_pid)
	refusal=$(printf 'Another buttond process is already running (PID %s)\nProcess Exiting.\n\n' "$first")
	if machine; then
		# reap is the subreaper that sees the detached copy end: the starting
		# command returns 0, the copy it leaves is refused with 255.
		expect_same "second copy" "@status 0
$refusal

@status 255" "$(on_board 'reap /usr/sbin/buttond' | sed 's/^@status [0-9]* /@status /')"
	else
		buttond 2>"$out/refusal"
		wait_until 30 logged "already running" || fail "second copy not refused"
		sleep 0.2
		cmp "$out/refusal" <(echo "$refusal"; echo) || fail "refusal: $(od -c "$out/refusal")"
	fi
	wait_until 30 logged "already running" || fail "second copy not logged"
	expect_same "refusal log" "5 Another buttond process is already running with PID $first , exiting" \
		"$(daemon_log | tail -n 1)"
	[ "$(daemon_pid)" = "$first" ] && [ "$(on_board 'pidof buttond')" = "$first" ] ||
		fail "pid file changed, first copy gone or second still running"
}

# The power cut: SIGKILL to the emulator by its pid, which leaves the flash
# as a cut leaves a board's, with what its caches held lost; then a boot on
# the same flash.
power_cut() {
	local started
	# shellcheck disable=SC2034 # the eval'd test reads started
	started=$(logged_times "^Writing pid")
	kill -KILL "$MACHINE_PID"
	machine_stop
	machine_boot 3>&- || fail "no boot after the power cut"
	wait_until 30 eval '[ "$(logged_times "^Writing pid")" -gt "$started" ]' ||
		fail "the daemon did not start after the power cut"
	on_board 'grep -q " /etc/vorn ext4 " /proc/mounts' || fail "no flash on /etc/vorn after the power cut"
}

# Action N run, and the power cut 1 s after lumend was told the lights are
# back to normal: true if its marker is there after the next boot. The
# marker was written before the cut (the stand-ins saw it).
cut_after_action() {	# ACTION MARKER
	local signals
	board && start_daemon
	on_board 'grep -q " /etc/vorn ext4 " /proc/mounts' || fail "no flash on /etc/vorn"
	signals=$(lines "$out/signals")
	gesture "hold blink" "wait dark" "count $1"
	# SIGUSR1 as the selection began, SIGUSR2 from the action.
	wait_until 60 at_least "$out/signals" $((signals + 2)) || fail "lumend never heard action $1's SIGUSR2"
	sleep 1
	logged "^Running Command for Action $1\.$" || fail "action $1 did not run"
	grep -q "/etc/vorn/wireless/$2$" "$out/files" 2>/dev/null || fail "$2 was not written before the cut"
	power_cut
	on_board "[ -f /etc/vorn/wireless/$2 ]"
}
power_cut_4() { cut_after_action 4 FORCE_PROVISIONING || fail "FORCE_PROVISIONING lost in the power cut"; }
power_cut_5() { cut_after_action 5 FORCE_PRL || fail "FORCE_PRL lost in the power cut"; }
# The daemon without its sync after the action must lose the marker: the
# scenario can fail.
power_cut_unmended() {
	! BUTTOND_KERNEL_ARGS=buttond.unmended=1 cut_after_action 4 FORCE_PROVISIONING ||
		fail "FORCE_PROVISIONING survived the power cut without the sync"
}

# The power cut in the middle of a selection, after its third press: the
# flash as it was, nothing of the selection run, and the daemon started
# again counts a new selection right.
power_cut_mid_selection() {
	board && start_daemon
	local flash='cd /etc/vorn && find . | sort && find . -type f | sort | xargs md5sum' before
	before=$(on_board "$flash")
	gesture "hold blink" "wait dark" "count 3"
	wait_until 30 eval '[ "$(leds_seen | awk "{ print \$NF }")" = 3 ]' || fail "the LEDs never showed 3"
	power_cut
	expect_same "the flash after the power cut" "$before" "$(on_board "$flash")"
	[ "$(verdicts)" = 0 ] || fail "a selection ended: $(daemon_log | grep -E 'Running|No Command')"
	select_count 2
	expect_same "verdict" "Running Command for Action 2." "$(daemon_log | grep Running | cut -d' ' -f2-)"
	expect_same "journal" "tallyrep	-i -l -s buttonpush" "$(cut -f2- "$out/journal")"
}

# The start script against the real daemon: LSB status 0 running, 3 not.
# On the emulated board it has started the daemon at boot.
init_script() {
	local script=${1:-} first exec_path=/usr/sbin/buttond
	if machine; then
		script=/etc/init.d/S50buttond
		board && start_daemon
	else
		exec_path=$(sed -n 's/^EXEC="\(.*\)"$/\1/p' "$script" | sed 's/\$DAEMON/buttond/')
		cp "$(command -v buttond)" "$exec_path"
		board
	fi
	# As over ssh: the output a pipe, read to its end, which a daemon that
	# kept the script's streams would hold open for ever.
	run() {
		local said rc=0
		if machine; then
			said=$(machine_run -t 20 "sh $script $1") || rc=$?
		else
			said=$({ sh "$script" "$1" 2>&1; echo "@status $?"; } | timeout $((20 * timeouts)) cat) || rc=$?
			[ $rc != 0 ] || { rc=${said##*@status }; said=${said%@status*}; }
		fi
		[ $rc != 124 ] || fail "the script's $1 did not return with its output a pipe"
		printf '%s' "$said"
		return "$rc"
	}
	status() { local rc=0; run status >/dev/null || rc=$?; [ $rc = "$1" ] || fail "status $rc, not $1"; }
	running() { on_board 'pidof buttond' >/dev/null; }
	if machine; then
		status 0
		expect_same "stop" "Stopping buttond: OK" "$(run stop)"
	fi
	status 3
	expect_same "start" "Starting buttond: OK" "$(run start)"
	status 0
	first=$(daemon_pid)
	run restart >/dev/null || fail "restart"
	[ "$(daemon_pid)" != "$first" ] || fail "restart kept the old process"
	on_board "kill -9 $(daemon_pid)"
	wait_until 30 eval '! running' || fail "kill -9 left the daemon"
	status 3
	run restart >/dev/null || fail "restart after kill -9"
	status 0
	expect_same "stop" "Stopping buttond: OK" "$(run stop)"
	status 3
	# Gone once its parent has reaped it: BusyBox init takes up to a second.
	wait_until 30 eval '! running' || fail "daemon survived stop"
	on_board "$exec_path >/dev/null 2>&1" 3>&-
	run stop >/dev/null || fail "stop inside the guard"
	wait_until 30 eval '! running' || fail "daemon survived a stop inside its guard"
	! run bogus >/dev/null || fail "unknown command accepted"
}

# The real daemon under memcheck for a few gestures: no invalid access, nothing
# definitely lost, no descriptor but the board image and the syslog socket.
valgrind_soak() {
	board
	daemon_start valgrind --tool=memcheck --track-fds=yes --leak-check=full \
		--log-file="$out/vg.%p" "$(command -v buttond)" -d || fail "no start under valgrind"
	local n pid
	pid=$(cat $pidfile)
	for n in 3 1 16 7; do select_count $n; done
	kill -TERM "$pid"
	wait_until 30 bash -c "! kill -0 $pid 2>/dev/null" || fail "daemon did not stop"
	local log=$out/vg.$pid
	grep -q 'ERROR SUMMARY: 0 errors' "$log" || fail "memcheck errors: $(cat "$log")"
	! grep -q 'definitely lost: [1-9]' "$log" || fail "definitely lost blocks"
	# Descriptors it opened itself, not valgrind or the starting shell.
	local own
	own=$(sed 's/^==[0-9]*== //' "$log" | awk '
		/^Open / { what = $0; next }
		what != "" { if ($0 !~ /inherited from parent/) print what; what = "" }' |
		sed 's/ [0-9]*:/:/' | sort)
	expect_same "descriptors held" "Open AF_UNIX socket: <unknown>
Open file descriptor: /dev/shm/buttond-board" "$own"
}

# The bring-up probe, on the board's world: its report, its status, and its
# figures against boardsim's own record of what it played.
probe_bin=buttond-probe
if machine; then
	probe_bin=/usr/sbin/buttond-probe
elif [ -n "${BUTTOND_EMULATED_PROBE:-}" ]; then
	probe_bin="qemu-ppc -L /mnt/emu/root $BUTTOND_EMULATED_PROBE"
fi
# probe_run GESTURE PROBE-ARG...: the probe started as a person would, the
# gesture played once it asks; its report in probe.out, status in probe_rc.
# On the PC it samples at real-time priority where it may, as boardsim's
# responder plays, so a busy test machine does not blur its figures; on the
# emulated board it runs as a person runs it.
probe_run() {
	local g=$1 run=$probe_bin
	shift
	! machine && chrt -f 10 true 2>/dev/null && run="chrt -f 10 $probe_bin"
	on_board "rm -f /tmp/probe.*; ($run $* --csv /tmp/probe.csv >/tmp/probe.out 2>&1;
		echo \$? >/tmp/probe.rc) </dev/null >/dev/null 2>&1 &"
	wait_until 30 on_board 'grep -q "^press the button" /tmp/probe.out 2>/dev/null' ||
		fail "the probe did not ask: $(on_board 'cat /tmp/probe.out')"
	gesture "$g"
	wait_until 60 on_board '[ -s /tmp/probe.rc ]' || fail "the probe did not end"
	on_board 'cat /tmp/probe.out' >"$out/probe.out"
	on_board 'cat /tmp/probe.csv' >"$out/probe.csv"
	probe_rc=$(on_board 'cat /tmp/probe.rc')
}
# Each press's hold and the chatter of its edges, as the probe's table
# gives them, against boardsim's record: the toggles after each move of the
# finger, first to last, after SKIP moves. Each end is seen within the
# probe's longest gap between samples; the emulated board's clock runs up
# to 0.5 % slow.
probe_figures() {
	local gap rate=0 problems skip=${1:-0}
	gap=$(sed -n 's/.* at most \([0-9.]*\) ms apart$/\1/p' "$out/probe.out")
	[ -n "$gap" ] || fail "no sampling figures: $(cat "$out/probe.out")"
	! machine || rate=0.005
	problems=$(tr , '\t' <"$out/probe.csv" | awk -F'\t' -v tol="$gap" -v rate=$rate -v skip="$skip" '
		function near(what, said, played) {
			played /= 1000
			if (said - played > tol + 0.1 + rate * played || played - said > tol + 0.1 + rate * played)
				printf "%s: the probe says %.3f ms, boardsim played %.3f ms; ", what, said, played
		}
		FNR == NR { if ($2 == "finger" && moves++ > skip) n++
			else if ($2 == "pin" && n) { if (!(n in first)) first[n] = $1; last[n] = $1; count[n]++ }
			next }
		FNR == 1 { next }
		{ i = $1; d = 2 * i - 1; u = 2 * i; presses++
			near("press " i " held", $4, first[u] - first[d])
			near("press " i " press chatter", $5, last[d] - first[d])
			near("press " i " release chatter", $7, last[u] - first[u])
			if ($6 > count[d] || $8 > count[u] || ($6 - count[d]) % 2 || ($8 - count[u]) % 2)
				printf "press %d: %d and %d changes, boardsim toggled %d and %d; ", i, $6, $8, count[d], count[u] }
		END { if (presses != n / 2) printf "%d presses, boardsim played %d", presses, n / 2 }' "$out/events" -)
	[ -z "$problems" ] || fail "figures: $problems"
}
# probe_board BOARDSIM-OPTION...: the board; on the emulated one the
# probe refused beside the daemon its init script started, then stopped.
probe_board() {
	board "$@" --events "$out/events"
	wait_until 30 grep -q '	pin	' "$out/events" || fail "boardsim never set the pin"
	machine || return 0
	start_daemon
	local refused
	! refused=$(on_board "$probe_bin -t 1 2>&1") && [[ $refused == *"buttond is running"* ]] ||
		fail "not refused beside buttond: $refused"
	on_board '/etc/init.d/S50buttond stop' >/dev/null || fail "buttond did not stop"
}
# probe_play STATUS REPORT-LINES GESTURE PROBE-ARG...: a person's own
# gesture, its lines given one a line; each of REPORT-LINES (a line each)
# must be in the report, and the status as given.
probe_play() {
	local want=$1 said=$2 g=$3 line
	shift 3
	probe_run "$g" "$@"
	# Any check that fails fails the run, the lateness of the world's own
	# wake-ups too, which a busy test machine may cause.
	! grep -q '^FAIL wake-ups:' "$out/probe.out" || want=1
	[ "$probe_rc" = "$want" ] || fail "status $probe_rc, not $want:"$'\n'"$(cat "$out/probe.out")"
	while IFS= read -r line; do
		grep -qE "$line" "$out/probe.out" || fail "no '$line' in:"$'\n'"$(cat "$out/probe.out")"
	done <<<"$said"
	cat "$out/probe.out"
}
# probe_case STATUS REPORT-LINE BOARDSIM-OPTION...: three taps, the status
# and a line of the report as given, the figures as played; on the PC its
# trace read back, with every change of the pin in it.
probe_case() {
	local want=$1 said=$2 vcd=
	shift 2
	probe_board "$@"
	machine || vcd="--vcd $out/probe.vcd"
	probe_play "$want" "$said" "tap x3" -n 3 -t 30 $vcd
	probe_figures
	if [ -n "$vcd" ]; then
		vcd_reads "$out/probe.vcd"
		expect_same "pin changes in the trace" "$(awk -F, 'NR > 1 { n += $6 + $8 } END { print n }' "$out/probe.csv")" \
			"$(sed '1,/^\$end$/d' "$out/probe.vcd" | grep -c '^[01]!$')"
	fi
}
probe_clean() { probe_case 0 '^ok   latch: caught an edge of every press: the press edge$'; }
probe_bounce8() { probe_case 0 '^ok   chatter: longest [0-9.]+ ms, within 20 ms' --bounce 8; }
probe_bounce30() { probe_case 1 '^FAIL chatter: (press|release) chatter [0-9.]+ ms > 20 ms .*: a press may count twice$' --bounce 30; }
probe_release() { probe_case 0 'caught an edge of every press: the release edge$' -e release; }
probe_both() { probe_case 0 'caught an edge of every press: both edges$' -e both; }
probe_no_latch() { probe_case 1 '^FAIL latch: never set in 3 presses: the daemon loses every press' -e none; }

# A 2 ms pulse between taps, as a loose wire or static gives: latched, the
# daemon counts it. On a busy emulated board only the latch may see it.
probe_pulse() {
	probe_board
	probe_play 1 '^FAIL pulses: 1 while the button was up, 1 latched(, 1 of them between two samples)?(; at [0-9.]+ s [0-9.]+ ms, latched)?: the daemon counts it as a press$' \
		$'tap\ntap 2\ntap x2' -n 3 -t 30
}
# The last release bounces once 30 ms after it, past the daemon's settle
# time and before its late clear: the probe must still be watching.
probe_late_bounce() {
	probe_board
	probe_play 1 '^FAIL pulses: 1 while the button was up' $'tap x2\ndown\nwait 0.15\nup\nwait 0.03\ntap 1' -n 3 -t 30
}
# The button already down as the probe starts, on a good board: it waits
# for the release, then judges the taps by the level the pin rests at.
probe_down_at_start() {
	probe_board
	gesture down
	wait_until 10 grep -q '	pin	low' "$out/events" || fail "the pin never went low"
	probe_play 0 $'^the button is down \\(the pin reads low\\): waiting for it to be let go$\n^the button was down at the start: its release is no press$\n^ok   level: the pin reads low while held \\(active-low\\)' \
		$'wait 0.5\nup\nwait 0.3\ntap x3' -n 3 -t 30
}
# Fewer presses than asked never pass; a press still held at the end is
# left out of the latch check, which a board latching releases would fail.
probe_fewer() {
	probe_board -e release
	probe_play 1 $'^FAIL presses: 2 of 3 in 3 s\n^ok   latch: caught an edge of every press: the release edge \\(a press held at the end left out\\)$' \
		$'tap x2\ndown' -n 3 -t 3
}
# Ctrl-C or SIGTERM: the report so far, the files whole, then the signal's
# own end.
probe_stop() {
	board --events "$out/events"
	buttond-probe -n 5 --csv "$out/probe.csv" --vcd "$out/probe.vcd" >"$out/probe.out" 2>&1 &
	local pid=$! rc=0
	wait_until 10 grep -q '^press the button' "$out/probe.out" || fail "the probe did not ask"
	gesture "tap x2"
	wait_until 10 grep -q '^press 2 at' "$out/probe.out" || fail "no second press: $(cat "$out/probe.out")"
	sleep 0.5
	kill -TERM $pid
	wait $pid || rc=$?
	[ $rc = 143 ] && grep -q '^stopped by signal 15: the report so far$' "$out/probe.out" &&
		grep -q '^FAIL presses: 2 of 5 in [0-9.]* s, stopped' "$out/probe.out" ||
		fail "status $rc:"$'\n'"$(cat "$out/probe.out")"
	[ "$(wc -l <"$out/probe.csv")" = 3 ] || fail "CSV: $(cat "$out/probe.csv")"
	vcd_reads "$out/probe.vcd"
	cat "$out/probe.out"
}

# The board tells its own lateness: the probe on the emulated board's one
# CPU idle, then beside a busy loop; each run says its worst wake-up and its
# 99.9th percentile, fails when past 20 ms, and still measures the presses.
probe_hog() {
	probe_board
	local run skip=0
	for run in idle hog; do
		[ $run = idle ] || on_board 'while :; do :; done </dev/null >/dev/null 2>&1 & echo $! >/tmp/hog'
		probe_run "tap x3" -n 3 -t 30
		[ $run = idle ] || on_board 'kill "$(cat /tmp/hog)"'
		grep -qE '^(ok  |FAIL) wake-ups: worst [0-9.]+ ms late of 30 sleeps of 20 and 80 ms as the daemon.s, at SCHED_[A-Z]+ priority [0-9]+ nice -?[0-9]+, and [0-9.]+ ms while sampling' "$out/probe.out" &&
			[ "$probe_rc" = "$(grep -q '^FAIL' "$out/probe.out" && echo 1 || echo 0)" ] ||
			fail "$run: status $probe_rc of"$'\n'"$(cat "$out/probe.out")"
		probe_figures $skip
		skip=6
		echo "$run: $(grep 'wake-ups:' "$out/probe.out")"
	done
}

# The probe beside buttond, through its pid file and, that gone, the process;
# then, buttond stopped, on a pin that never moves.
probe_refusal() {
	board && start_daemon
	local pid said rc=0
	pid=$(daemon_pid)
	said=$(on_board "$probe_bin -t 1 2>&1") || rc=$?
	expect_same "refusal ($rc)" "buttond-probe: buttond is running (pid $pid in /var/run/buttond.pid); stop it first, or each would take the other's presses" "$said"
	[ $rc = 2 ] || fail "status $rc"
	on_board "rm $pidfile"
	said=$(on_board "$probe_bin -t 1 2>&1") || true
	[[ $said == "buttond-probe: buttond is running (pid $pid);"* ]] || fail "without the pid file: $said"
	on_board "kill $pid"
	probe_once() { rc=0; said=$(on_board "$probe_bin -t 1" 2>&1) || rc=$?; [ $rc != 2 ]; }
	wait_until 30 probe_once || fail "still refused: $said"
	[ $rc = 1 ] && grep -qx "FAIL presses: the pin never moved in 1 s" <<<"$said" || fail "still pin ($rc): $said"
}

# Bad input, each one line and status 2; then the LED walk, which puts the
# word back as it found it, at the end and on Ctrl-C.
probe_input() {
	local args said got rc
	while IFS='|' read -r args said; do
		rc=0
		# shellcheck disable=SC2086 # the arguments as the table gives them
		got=$(buttond-probe $args 2>&1 >/dev/null) || rc=$?
		[ $rc = 2 ] && [ "$got" = "buttond-probe: $said" ] || fail "'$args': status $rc, said: $got"
	done <<-EOF
		-n 0|-n takes a number of presses from 1 to 100
		-n 5x|-n takes a number of presses from 1 to 100
		-t 0|-t takes seconds from 1 to 3600
		--bogus|unknown option --bogus (see --help)
		--vcd|--vcd needs a value
		extra|no arguments are taken besides options
		--csv /nonexistent/x.csv|cannot write /nonexistent/x.csv: No such file or directory
		-t 1|cannot open $image: No such file or directory
	EOF
	[ "$(buttond-probe --version)" = "buttond-probe 1.02" ] || fail "--version: $(buttond-probe --version)"
	board --events "$out/events"
	# No right to the device: where another user can be taken (real root).
	if setpriv --reuid=65534 --regid=65534 --clear-groups true 2>/dev/null; then
		rc=0
		said=$(setpriv --reuid=65534 --regid=65534 --clear-groups buttond-probe -t 1 2>&1) || rc=$?
		[ $rc = 2 ] && [ "$said" = "buttond-probe: cannot open $image: Permission denied (run it as root)" ] ||
			fail "no right: $rc, $said"
	fi
	printf '\x05\0\0\0' | dd of=$image bs=1 conv=notrunc status=none
	buttond-probe --leds --step 20 >"$out/walk" || fail "the LED walk failed"
	[ "$(wc -l <"$out/walk")" = 20 ] && [ "$(tail -n 1 "$out/walk")" = "LEDs put back: word 0x00000005" ] ||
		fail "walk: $(cat "$out/walk")"
	expect_same "LED words" "FFFFFFFE FFFFFFFD FFFFFFFB FFFFFFF7 $(for i in $(seq 15); do
		printf '%08X ' $((~i & 0xFFFFFFFF)); done)00000005" \
		"$(awk -F'\t' '$2 == "led" { print $3 }' "$out/events" | tail -n 20 | xargs)"
	buttond-probe --leds >"$out/walk-cut" 2>&1 &
	wait_until 10 grep -q "LED 1 alone" "$out/walk-cut" || fail "no walk"
	kill -INT $!
	rc=0
	wait $! || rc=$?
	[ $rc = 130 ] && grep -q "interrupted; LEDs put back" "$out/walk-cut" || fail "Ctrl-C: $rc, $(cat "$out/walk-cut")"
	sleep 0.1
	expect_same "LED word after Ctrl-C" 00000005 "$(awk -F'\t' '$2 == "led" { w = $3 } END { print w }' "$out/events")"
	kill -INT "$board_pid"
	wait "$board_pid" || true
	# With boardsim gone the latch reads back the probe's clear for ever,
	# as a latch that does not clear.
	rc=0
	said=$(buttond-probe -t 1) || rc=$?
	[ $rc = 1 ] && grep -qE '^FAIL level: the latch set [0-9]+ times with the pin steady \(.*a latch that does not clear' <<<"$said" ||
		fail "stuck latch: $rc, $said"
	truncate -s 100 $image
	rc=0
	said=$(buttond-probe 2>&1) || rc=$?
	[ $rc = 2 ] && [ "$said" = "buttond-probe: cannot map the board's registers from $image: Invalid argument" ] ||
		fail "short image: $rc, $said"
}

name=$1
shift
"$name" "$@"
! rig_faults >/dev/null || fail "the rig stalled"
machine_stalls || true
rig_figures
echo "PASS: $name"
