#!/usr/bin/env bash
# gpio_barrier.sh OBJDUMP DAEMON FUNCTION...
# Disassembles the PowerPC daemon and checks that in each FUNCTION present
# (the GPIO block's write accessor and whatever it is inlined into) every
# store to the GPIO block is followed by eieio or sync before any load or
# branch: without it the processor may read the pin before the latch clears.
# Stores off r1, or off r31 where it is the frame pointer, are the stack's.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 OBJDUMP DAEMON FUNCTION..." >&2; exit 2; }
objdump=$1 daemon=$2
shift 2
names=$(IFS="|"; echo "$*")
"$objdump" -d -C --no-show-raw-insn "$daemon" | awk -v names="$names" '
	function unordered() {
		if (pending != "")
			fail("no barrier between the store to the GPIO block and the load after it in " fn " (store at " pending ")")
		pending = ""
	}
	function fail(msg) { print msg; bad = 1 }
	/^[0-9a-f]+ <.*>:$/ {
		unordered(); fn = ""
		name = $0; sub(/^[0-9a-f]+ </, "", name); sub(/>:$/, "", name)
		base = name; sub(/\(.*/, "", base)
		if (base ~ "^(" names ")$") { fn = name; frame = 0 }
		next
	}
	fn == "" || !/^ +[0-9a-f]+:\t/ { next }
	{
		split($0, f, "\t"); addr = f[1]; sub(/^ +/, "", addr); sub(/:$/, "", addr)
		op = f[2]; sub(/ .*/, "", op)
		args = f[2]; sub(/^[^ ]+ */, "", args)
		if (op == "mr" && args == "r31,r1") { frame = 1; next }
		if (op ~ /^(eieio|sync|hwsync|msync|mbar)$/) { pending = ""; next }
		if (op ~ /^st(b|h|w|d)/ && op != "stmw") {
			n = split(args, a, ",")
			reg = (op ~ /x$/) ? a[2] : a[n]
			sub(/^.*\(/, "", reg); sub(/\)$/, "", reg)
			if (reg == "r1" || (reg == "r31" && frame)) next
			stores++; pending = addr
			next
		}
		if (pending != "" && (op ~ /^l(bz|ha|hz|wz|wa|d|mw|hbrx|wbrx|fs|fd)/ || op ~ /^b/))
			unordered()
	}
	END {
		unordered()
		if (!stores)
			fail("found no store to the GPIO block in " names ": the check no longer sees the writes")
		if (!bad)
			print stores " store(s) to the GPIO block, each followed by a barrier"
		exit bad
	}'
