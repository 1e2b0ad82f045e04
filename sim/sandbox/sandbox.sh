#!/usr/bin/env bash
# sandbox: runs a command in the board's world on a PC, touching nothing
# outside. In a private mount and pid namespace it gives the command
#   /var/run, /dev/shm      empty tmpfs
#   /tmp, /etc, /usr/bin, /usr/sbin, /usr/local/sbin
#                           throw-away overlays on the host's
#   /etc/vorn/...           the wireless marker directory, a factory-reset stand-in
#   /bin/tallyrep           a stand-in recording its arguments after a second's work
#   /dev/log                a syslog receiver
#   lumend                  a stand-in light daemon recording its signals
# Records land in OUT (the command sees it as $SANDBOX_OUT, /mnt/out):
#   syslog   time, facility, priority, ident, text (tab-separated)
#   signals  time, signal
#   journal  time, program, arguments
#   files    time, path of an action's file written (trigger, markers)
# The tools built beside this script (buttond, boardsim) are on PATH.
# With --busybox, sh, killall, touch and start-stop-daemon are BusyBox
# applets and BusyBox syslogd takes /dev/log, as on the board; its file
# (OUT/messages) is turned into the same syslog records. With
# --slow-killall SECONDS (or BUTTOND_SLOW_KILLALL in the environment) every
# killall starts that much later, as on a board busy with other work (the
# emulated board's too).
# BUTTOND_TIMEOUT_MULTIPLIER (a whole number, 1 by default) scales every
# limit of the sandbox, boardsim, the emulated board and the scenarios.
#
# usage: sandbox [--out DIR] [--quiet] [--busybox] [--slow-killall SECONDS] [--] COMMAND [ARG...]
# Exit status: the command's, or 77 when no namespace (or no busybox) is here.
set -euo pipefail

bin=$(cd "$(dirname "$0")" && pwd)

# BusyBox syslogd's "Mmm dd HH:MM:SS host facility.priority ident: text"
# as logsink's records.
busybox_records() {
	local -A level=([emerg]=0 [alert]=1 [crit]=2 [err]=3 [warn]=4 [notice]=5 [info]=6 [debug]=7)
	local re='^[A-Z][a-z]+ +[0-9]+ ([0-9:]+) [^ ]+ ([a-z0-9]+)\.([a-z]+) ([^ :]+): (.*)$' m
	while IFS= read -r line; do
		[[ $line =~ $re ]] || continue
		m=("${BASH_REMATCH[@]}")
		printf '%s\t%s\t%s\t%s\t%s\n' "${m[1]}" "${m[2]}" "${level[${m[3]}]:-${m[3]}}" "${m[4]}" "${m[5]}"
	done
}

if [ "${1:-}" = "--inside" ]; then
	shift
	out=$1 quiet=$2 busybox=$3 slow=$4
	shift 4
	mount --make-rprivate /
	mount -t tmpfs -o mode=755 sandbox /mnt
	mkdir -p /mnt/out /mnt/w/dev
	mount --bind "$out" /mnt/out

	# A /dev of our own, so /dev/log and /dev/shm are the sandbox's.
	mount -t tmpfs -o mode=755 dev /mnt/w/dev
	for n in null zero full random urandom tty; do
		[ -e /dev/$n ] || continue
		touch /mnt/w/dev/$n
		mount --bind /dev/$n /mnt/w/dev/$n
	done
	mkdir /mnt/w/dev/shm /mnt/w/dev/pts
	[ -d /dev/pts ] && mount --rbind /dev/pts /mnt/w/dev/pts
	ln -s /proc/self/fd /mnt/w/dev/fd
	ln -s /proc/self/fd/0 /mnt/w/dev/stdin
	ln -s /proc/self/fd/1 /mnt/w/dev/stdout
	ln -s /proc/self/fd/2 /mnt/w/dev/stderr
	mount --move /mnt/w/dev /dev
	mount -t tmpfs -o mode=1777 shm /dev/shm
	mount -t tmpfs -o mode=755 run "$(readlink -f /var/run)"

	overlay() {
		local dir name
		dir=$(readlink -f "$1")
		name=$(echo "$dir" | tr / _)
		mkdir -p "/mnt/w/$name.up" "/mnt/w/$name.work"
		mount -t overlay overlay \
			-o "lowerdir=$dir,upperdir=/mnt/w/$name.up,workdir=/mnt/w/$name.work" "$dir"
	}
	overlay /tmp
	overlay /etc
	overlay /bin
	overlay /usr/sbin
	[ -d /usr/local/sbin ] && overlay /usr/local/sbin

	stand_in() {	# PATH NAME [SECONDS IT TAKES]
		printf '#!/bin/sh\nsleep %s\nprintf "%%s\\t%s\\t%%s\\n" "$(date -u +%%T.%%3N)" "$*" >> /mnt/out/journal\n' \
			"${3:-0}" "$2" > "$1"
		chmod 755 "$1"
	}
	mkdir -p /etc/vorn/wireless /etc/vorn/recovery/firstboot
	stand_in /bin/tallyrep tallyrep 1
	stand_in /etc/vorn/recovery/firstboot/factory_reset factory_reset
	touch /mnt/out/syslog /mnt/out/signals /mnt/out/journal

	if [ "$busybox" = 1 ]; then
		for applet in sh killall touch start-stop-daemon; do
			ln -sf "$(command -v busybox)" "$(command -v $applet)"
		done
		busybox syslogd -n -O /mnt/out/messages &
		tail -n +1 -F /mnt/out/messages 2>/dev/null | busybox_records >>/mnt/out/syslog &
	else
		"$bin/logsink" /dev/log /mnt/out/syslog &
	fi
	if [ "$slow" != 0 ]; then
		# The real killall (BusyBox's link included) moves aside, behind a
		# stand-in that waits first. Killalls the PC's shell ran in the
		# background then wake together: they take turns, a moment apart,
		# or two signals sent at once would merge before lumend took one.
		killall=$(command -v killall)
		mkdir -p /mnt/w/slow
		mv "$killall" /mnt/w/slow/killall
		cat >"$killall" <<-EOF
			#!/bin/sh
			sleep $slow
			exec flock /mnt/w/slow/lock sh -c '/mnt/w/slow/killall "\$@"; status=\$?; sleep 0.05; exit \$status' killall "\$@"
		EOF
		chmod 755 "$killall"
	fi
	# Two SIGUSR2 sent a moment apart (buttond signals before the action and
	# again after it) merge into one if lumend is not scheduled between
	# them; real-time priority makes it take each as it comes.
	rt=()
	if chrt -f 10 true 2>/dev/null; then
		rt=(chrt -f 10)
	else
		echo "sandbox: no real-time priority for lumend here: two signals a moment apart may merge" >&2
	fi
	"${rt[@]}" "$bin/lumend" /mnt/out/signals &
	"$bin/filewatch" /mnt/out/files /tmp/tesk_trigger /etc/vorn/wireless/FORCE_PROVISIONING \
		/etc/vorn/wireless/FORCE_PRL &
	for _ in $(seq $((200 * ${BUTTOND_TIMEOUT_MULTIPLIER:-1}))); do
		[ -S /dev/log ] && [ -e /mnt/out/files ] && break
		sleep 0.01
	done

	# The emulated board slows its own killall by the same.
	export SANDBOX_OUT=/mnt/out PATH="$bin:$PATH" BUTTOND_SLOW_KILLALL=$slow
	status=0
	"$@" || status=$?
	if [ "$quiet" = 0 ]; then
		{
			echo "== sandbox: journal"; cat /mnt/out/journal
			echo "== sandbox: signals to lumend"; cat /mnt/out/signals
		} >&2
	fi
	exit "$status"
fi

out='' quiet=0 busybox=0 slow=${BUTTOND_SLOW_KILLALL:-0}
while [ $# -gt 0 ]; do
	case $1 in
	--out) out=$2; shift 2 ;;
	--quiet) quiet=1; shift ;;
	--busybox) busybox=1; shift ;;
	--slow-killall) slow=$2; shift 2 ;;
	--) shift; break ;;
	*) break ;;
	esac
done
usage="usage: sandbox [--out DIR] [--quiet] [--busybox] [--slow-killall SECONDS] [--] COMMAND [ARG...]"
[ $# -gt 0 ] || { echo "$usage" >&2; exit 2; }
[[ $slow =~ ^[0-9]+(\.[0-9]+)?$ ]] || { echo "sandbox: --slow-killall takes seconds, not '$slow'" >&2; exit 2; }
[[ ${BUTTOND_TIMEOUT_MULTIPLIER:-1} =~ ^[1-9][0-9]*$ ]] ||
	{ echo "sandbox: BUTTOND_TIMEOUT_MULTIPLIER is a whole number from 1, not '$BUTTOND_TIMEOUT_MULTIPLIER'" >&2; exit 2; }
if [ "$busybox" = 1 ] && ! command -v busybox >/dev/null; then
	echo "sandbox: no busybox here" >&2
	exit 77
fi
keep=1
if [ -z "$out" ]; then
	out=$(mktemp -d)
	keep=0
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)

userns=()
[ "$(id -u)" -eq 0 ] || userns=(--map-root-user)
if ! unshare "${userns[@]}" -m -p -f --mount-proc true 2>/dev/null; then
	echo "sandbox: cannot make a mount and pid namespace here (needs root or user namespaces)" >&2
	exit 77
fi
status=0
unshare "${userns[@]}" -m -p -f --mount-proc "$bin/sandbox" --inside "$out" "$quiet" "$busybox" "$slow" "$@" || status=$?
[ "$keep" = 1 ] || rm -rf "$out"
exit "$status"
