# shellcheck shell=bash
# Sourced by the benchmarks inside the sandbox, after boardlib.sh: results
# as KEY=VALUE lines in $SANDBOX_OUT/results, gestures played as a person
# does, and their timing from the syslog receiver's and boardsim's stamps.
# shellcheck disable=SC2154 # boardlib.sh, sourced first, sets out
res=$out/results
: >"$res"
put() { echo "$1=$2" >>"$res"; echo "  $1 = $2" >&2; }

wait_log() {	# PATTERN COUNT
	# shellcheck disable=SC2034 # the eval'd test reads them
	local pattern=$1 count=$2
	wait_until 60 eval '[ "$(logged_times "$pattern")" -ge "$count" ]' && return 0
	echo "bench: timed out waiting for '$1'" >&2
	exit 1
}

# selection G: the G-th one-press selection, until lumend's last signal.
selection() {
	# shellcheck disable=SC2034 # the eval'd test reads it
	local signals=$(($1 * 3))
	gesture "hold blink" "wait dark" "count 1"
	wait_log '^Running Command' "$1"
	wait_until 60 eval '[ "$(wc -l <"$out/signals")" -ge $signals ]'
	sleep 0.3
}

# Each stamp on standard input in milliseconds (boardlib's ms takes one).
ms_each() { awk -F'[:.]' '{ print (($1 * 60 + $2) * 60 + $3) * 1000 + $4 }'; }
stats() { sort -n | awk '{ v[NR] = $1 } END { printf "%d / %d / %d", v[1], v[int((NR + 1) / 2)], v[NR] }'; }

# The window's close after the counting poll (the press's debug line to
# the verdict) less 5 s, and the blink half-periods (LED changes 150 to
# 350 ms apart), over the selections played.
gesture_figures() {
	paste <(awk -F'\t' '$5 == " Button Pressed 1" { print $1 }' "$out/syslog" | ms_each) \
		<(awk -F'\t' '$5 ~ /^Running Command/ { print $1 }' "$out/syslog" | ms_each) |
		awk '{ print $2 - $1 - 5000 }' >"$out/window-error"
	put window_error_ms "$(stats <"$out/window-error")"
	put window_samples "$(wc -l <"$out/window-error")"
	awk -F'\t' '$2 == "leds" { print $1 }' "$out/boardsim" | ms_each |
		awk 'NR > 1 { d = $1 - p; if (d >= 150 && d <= 350) print d } { p = $1 }' >"$out/half"
	put blink_half_ms "$(stats <"$out/half")"
}
