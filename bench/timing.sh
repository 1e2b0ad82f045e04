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

played=0
# selection [WORD...]: one more selection, its presses played by the words
# (count 1 unless told), until lumend's last signal.
selection() {
	played=$((played + 1))
	[ $# -gt 0 ] || set -- "count 1"
	gesture "hold blink" "wait dark" "$@"
	wait_log '^Running Command' "$played"
	wait_until 60 eval '[ "$(wc -l <"$out/signals")" -ge $((played * 3)) ]'
	sleep 0.3
}

stats() { sort -n | awk '{ v[NR] = $1 } END { printf "%d / %d / %d", v[1], v[int((NR + 1) / 2)], v[NR] }'; }
# Records' HH:MM:SS.mmm stamps in milliseconds, for awk.
MS='function ms(t, a) { split(t, a, /[:.]/); return ((a[1] * 60 + a[2]) * 60 + a[3]) * 1000 + a[4] }'

# The window's close after the last count (the last press's debug line
# to the verdict) less 5 s, and the blink half-periods (150 to 350 ms
# between a pattern and dark, or dark and the pattern again), over the
# selections played.
gesture_figures() {
	awk -F'\t' "$MS"'
		$5 ~ /^ Button Pressed / { p = ms($1) }
		$5 ~ /^Running Command/ && p { print ms($1) - p - 5000; p = 0 }' "$out/syslog" >"$out/window-error"
	put window_error_ms "$(stats <"$out/window-error")"
	put window_samples "$(wc -l <"$out/window-error")"
	awk -F'\t' "$MS"'
		$2 != "leds" { next }
		{ n = split($3, f, " "); v = f[n]; t = ms($1); d = t - pt }
		v == v2 && (v == 0 || v1 == 0) && d >= 150 && d <= 350 { print d }
		{ v2 = v1; v1 = v; pt = t }' "$out/boardsim" >"$out/half"
	put blink_half_ms "$(stats <"$out/half")"
}

# release_figures NAME [WORD...]: four selections of five presses, each
# press a "count 1" with the words after it and a random pause before it
# (a person's taps come at any phase of the polls), and the time from each
# release (its first edge) to its count on the LEDs, for the figure NAME.
release_figures() {
	local name=$1 from taps
	shift
	from=$(($(wc -l <"$out/boardsim") + 1))
	for _ in 1 2 3 4; do
		taps=()
		for _ in 1 2 3 4 5; do
			taps+=("$(printf 'wait 0.%03d' $((RANDOM % 160)))" "count 1 $*")
		done
		selection "${taps[@]}"
	done
	tail -n +"$from" "$out/boardsim" | awk -F'\t' "$MS"'
		$2 == "button" && $3 == "up" { up = ms($1) }
		$2 == "leds" { n = split($3, f, " "); v = f[n]
			if (up && v == last + 1 && ms($1) - up < 1000) print ms($1) - up
			last = v; up = 0 }' >"$out/release-$name"
	put "release_${name}_ms" "$(stats <"$out/release-$name")"
	put "release_${name}_samples" "$(wc -l <"$out/release-$name")"
}

# memory PID NAME: the process's RSS, PSS, anonymous and private dirty
# memory (kB) from smaps_rollup, read by COMMAND (cat by default).
memory() {
	local rollup
	rollup=$(${3:-cat} "/proc/$1/smaps_rollup")
	for f in Rss Pss Anonymous Private_Dirty; do
		put "${2}_$(echo "$f" | tr 'A-Z' 'a-z')_kb" "$(echo "$rollup" | awk -v f="$f:" '$1 == f { print $2 }')"
	done
}
