#!/usr/bin/env bash
# Runs one scenario, and runs it again, at most twice more, when it fails
# and the rig's verdict of that run explains the failure: boardsim's rig
# fault, stall of the whole machine, or responder's CPU standing still where
# the scenario judged a figure of the trace (only the trace's stamps are
# late then; the daemon saw the board as it was); or the emulated board's
# kernel calibrating its clock more than 2 % off at boot, every timing in
# the guest with it. A failure the rig does not explain fails at once.
# CTest's own repeats cannot tell the two apart.
#   rerun.sh NAME SECONDS COMMAND...
# SECONDS limits each run. Reruns are said on stderr and added to
# BUTTOND_RERUN_LOG where it is set; the command sees BUTTOND_RUN=1, 2, 3.
set -uo pipefail
name=$1 limit=$2
shift 2
out=$(mktemp)
trap 'rm -f "$out"' EXIT

say() {
	echo "== $*" >&2
	[ -z "${BUTTOND_RERUN_LOG:-}" ] || echo "$*" >>"$BUTTOND_RERUN_LOG"
}
nth() { case $1 in 1) echo 1st ;; 2) echo 2nd ;; *) echo 3rd ;; esac; }

# The rig's trouble in the failed run's output, as "a machine stall
# (153 ms)"; false when the rig does not explain the failure.
trouble() {
	local verdict found what skew
	skew=$(grep -m 1 -oE "^machine: the guest's clock runs [0-9.]+ % (slow|fast)" "$out") &&
		{ echo "a guest clock ${skew#machine: the guest\'s clock runs }"; return 0; }
	verdict=$(sed -n '/^\(RIG FAULT\|MACHINE STALL\), /,/^(what the scenario then found: /p' "$out")
	found=$(grep -m 1 '^(what the scenario then found: ' <<<"$verdict") || return 1
	if [[ $verdict == "RIG FAULT"* ]]; then
		what="a rig fault"
	elif grep -q 'machine stall: ' <<<"$verdict"; then
		what="a machine stall"
	elif [[ $found == "(what the scenario then found: trace: "* ]]; then
		what="a slow CPU"
	else
		return 1
	fi
	printf '%s (%.0f ms)\n' "$what" "$(grep -oE '[0-9]+(\.[0-9]+)? ms' <<<"$verdict" | head -n 1 | cut -d' ' -f1)"
}

causes=""
for run in 1 2 3; do
	status=0
	BUTTOND_RUN=$run timeout -k 10 "$limit" "$@" >"$out" 2>&1 || status=$?
	cat "$out"
	if [ "$status" = 0 ] || [ "$status" = 77 ]; then
		[ "$run" = 1 ] || say "$name: rerun after $causes; passed on the $(nth "$run") run"
		exit "$status"
	fi
	if ! cause=$(trouble); then
		[ "$run" = 1 ] || say "$name: rerun after $causes; failed on the $(nth "$run") run, the rig clear"
		exit "$status"
	fi
	causes+="${causes:+, then }$cause"
	[ "$run" = 3 ] || echo "== $name: the $(nth "$run") run met $cause: running it again" >&2
done
say "$name: the rig could not run this scenario: $causes"
exit 1
