#!/usr/bin/env bash
# sandbox: runs a command in the board's world on a PC, touching nothing
# outside. In a private mount and pid namespace it gives the command
#   /var/run, /dev/shm      empty tmpfs
#   /tmp, /etc, /usr/bin, /usr/sbin, /usr/local/sbin
#                           throw-away overlays on the host's
#   /etc/vorn/...           the wireless marker directory, a factory-reset stand-in
#   /bin/tallyrep           a stand-in recording its arguments
#   /dev/log                a syslog receiver
#   lumend                  a stand-in light daemon recording its signals
# Records land in OUT (the command sees it as $SANDBOX_OUT, /mnt/out):
#   syslog   time, facility, priority, ident, text (tab-separated)
#   signals  time, signal
#   journal  time, program, arguments
#   files    time, path of an action's file written (trigger, markers)
# The tools built beside this script (buttond, boardsim) are on PATH.
#
# usage: sandbox [--out DIR] [--quiet] [--] COMMAND [ARG...]
# Exit status: the command's, or 77 when no namespace can be made here.
set -euo pipefail

bin=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = "--inside" ]; then
	shift
	out=$1 quiet=$2
	shift 2
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

	stand_in() {
		printf '#!/bin/sh\nprintf "%%s\\t%s\\t%%s\\n" "$(date -u +%%T.%%3N)" "$*" >> /mnt/out/journal\n' \
			"$2" > "$1"
		chmod 755 "$1"
	}
	mkdir -p /etc/vorn/wireless /etc/vorn/recovery/firstboot
	stand_in /bin/tallyrep tallyrep
	stand_in /etc/vorn/recovery/firstboot/factory_reset factory_reset
	touch /mnt/out/syslog /mnt/out/signals /mnt/out/journal

	"$bin/logsink" /dev/log /mnt/out/syslog &
	# Two SIGUSR2 sent a moment apart (buttond signals before the action and
	# again after it) merge into one if lumend is not scheduled between
	# them; real-time priority makes it take each as it comes.
	rt=()
	chrt -f 10 true 2>/dev/null && rt=(chrt -f 10)
	"${rt[@]}" "$bin/lumend" /mnt/out/signals &
	"$bin/filewatch" /mnt/out/files /tmp/tesk_trigger /etc/vorn/wireless/FORCE_PROVISIONING \
		/etc/vorn/wireless/FORCE_PRL &
	for _ in $(seq 200); do [ -S /dev/log ] && [ -e /mnt/out/files ] && break; sleep 0.01; done

	export SANDBOX_OUT=/mnt/out PATH="$bin:$PATH"
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

out= quiet=0
while [ $# -gt 0 ]; do
	case $1 in
	--out) out=$2; shift 2 ;;
	--quiet) quiet=1; shift ;;
	--) shift; break ;;
	*) break ;;
	esac
done
[ $# -gt 0 ] || { echo "usage: sandbox [--out DIR] [--quiet] [--] COMMAND [ARG...]" >&2; exit 2; }
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
unshare "${userns[@]}" -m -p -f --mount-proc "$bin/sandbox" --inside "$out" "$quiet" "$@" || status=$?
[ "$keep" = 1 ] || rm -rf "$out"
exit "$status"
