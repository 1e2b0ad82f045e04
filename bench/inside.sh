#!/usr/bin/env bash
# The measurements, run inside the sandbox; each result is a KEY=VALUE line
# in $SANDBOX_OUT/results. Timings come from the syslog receiver's and
# boardsim's time stamps.
set -euo pipefail
# shellcheck source=../sim/sandbox/boardlib.sh
. boardlib.sh
. "$(dirname "$0")/timing.sh"

strace_calls() {	# FILE: calls in the total line
	awk '$NF == "total" { print $4 }' "$1"
}

board_start

# The shell loop a firmware engineer would otherwise write: every second,
# read the GPIO data word out of the board image.
data=$(($(getconf PAGESIZE) + 0xC08))
poller="sleep 1; od -An -tx4 -j $data -N4 $image >/dev/null"
loop() { echo "i=0; while [ \$i -lt $1 ]; do $poller; i=\$((i + 1)); done"; }

echo "bench: syscalls per idle second" >&2
daemon_start buttond -d
pid=$(cat $pidfile)
sleep 1.5
memory "$pid" start
timeout -s INT 12 strace -f -c -o "$out/strace-daemon" -p "$pid" 2>/dev/null || true
per_s() { awk -v n="$1" -v d="$2" 'BEGIN { printf "%.2f", n / d }'; }
put syscalls_per_s "$(per_s "$(strace_calls "$out/strace-daemon")" 12)"
strace -f -c -o "$out/strace-shell" sh -c "$(loop 12)"
put base_syscalls_per_s "$(per_s "$(strace_calls "$out/strace-shell")" 12)"
sh -c "$(loop 3)" &
shell=$!
sleep 1.5
memory $shell base
wait $shell

echo "bench: gesture timing and memory over 20 selections" >&2
for g in $(seq 20); do
	selection
	[ "$g" != 10 ] || memory "$pid" g10
done
memory "$pid" g20
gesture_figures
echo "bench: from a release to its count, clean and chattering" >&2
release_figures clean
release_figures bounce bounce 10
release_figures polls on polls bounce 10
kill "$pid"

echo "bench: instructions per idle poll" >&2
valgrind --tool=callgrind --callgrind-out-file="$out/cg.%p" "$(command -v buttond)" 3>&- 2>/dev/null
wait_log '^Writing pid' 2
sleep 20
cgpid=$(cat $pidfile)
kill "$cgpid"
while kill -0 "$cgpid" 2>/dev/null; do sleep 0.1; done
# Calls of MainLoopIteration and the instructions spent inside them,
# summed over the call records (callgrind names a function once, then by id).
read -r polls ir < <(awk '
	/^c?fn=\([0-9]+\) MainLoopIteration\(\)/ { match($0, /\([0-9]+\)/); id = substr($0, RSTART, RLENGTH) }
	id != "" && $0 ~ "^cfn=" && index($0, id) == 5 { incall = 1; next }
	incall && /^calls=/ { split($0, c, /[= ]/); calls += c[2]; next }
	incall { ir += $2; incall = 0 }
	END { print calls, ir }' "$out/cg.$cgpid")
put polls "$polls"
put instr_per_poll "$((ir / polls))"
valgrind --tool=callgrind --trace-children=yes --callgrind-out-file="$out/cgs.%p" \
	sh -c "$(loop 5)" 2>/dev/null
total=0
for f in "$out"/cgs.*; do
	n=$(sed -n 's/^totals: *\([0-9]*\).*/\1/p; s/^summary: *\([0-9]*\).*/\1/p' "$f" | head -1)
	total=$((total + n))
done
put base_instr_per_poll "$((total / 5))"
