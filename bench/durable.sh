#!/usr/bin/env bash
# How soon an action's effect is on the emulated board's flash, run in the
# sandbox with BUTTOND_MACHINE set: actions 4 and 5 in turn, each marker
# removed first, and from the action's log line, and from lumend's SIGUSR2
# (the lights back to normal), to the flash's last write, the disk image's
# modification time 3 s on, on the host's clock as the records are.
set -euo pipefail
# shellcheck source=../sim/sandbox/boardlib.sh
. boardlib.sh
. "$(dirname "$0")/timing.sh"

board_start
daemon_start buttond
# Milliseconds since midnight UTC of the flash image's last write.
written_ms() { echo $(($(stat -c %.3Y "$MACHINE_DIR/flash.img" | tr -d .) % 86400000)); }
echo "bench: from an action's log line to its marker on flash" >&2
: >"$out/durable"
runs=0
for n in 4 5 4 5 4 5 4 5 4 5; do
	on_board 'rm -f /etc/vorn/wireless/FORCE_*; sync'
	sleep 1
	signals=$(wc -l <"$out/signals")
	runs=$((runs + 1))
	gesture "hold blink" "wait dark" "count $n"
	wait_log "^Running Command for Action" "$runs"
	wait_until 60 eval '[ "$(wc -l <"$out/signals")" -ge $((signals + 3)) ]'
	sleep 3
	logged_at=$(awk -F'\t' -v n="$runs" "$MS"'$5 ~ /^Running Command/ && ++i == n { print ms($1) }' "$out/syslog")
	lights_at=$(awk -F'\t' -v n=$((signals + 2)) "$MS"'NR == n { print ms($1) }' "$out/signals")
	written=$(written_ms)
	echo "$((written - logged_at)) $((written - lights_at))" >>"$out/durable"
done
put durable_after_log_ms "$(cut -d' ' -f1 "$out/durable" | stats)"
put durable_after_lights_ms "$(cut -d' ' -f2 "$out/durable" | stats)"
put durable_samples "$(wc -l <"$out/durable")"
