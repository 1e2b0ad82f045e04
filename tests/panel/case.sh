#!/usr/bin/env bash
# One case of the board panel's tests: in a sandbox whose records go to a
# fresh DIR, the panel on the simulated board, and the case against it in
# headless Chromium (browser.py) or, for protocol, as a plain client
# (protocol.py). The mouse case leaves its picture of the panel in the
# middle of a selection as DIR/screenshot.png.
#   case.sh NAME SANDBOX DIR
# Exits 77, skipped, where no namespace can be made or Debian's chromium,
# chromium-driver, python3-selenium or python3-aiohttp is missing.
set -euo pipefail
if [ "${1:-}" != --inside ]; then
	[ $# = 3 ] || { echo "usage: case.sh NAME SANDBOX DIR" >&2; exit 2; }
	rm -rf "$3"
	exec "$2" --quiet --out "$3" -- bash "$0" --inside "$1"
fi
name=$2
# shellcheck source=../../sim/sandbox/boardlib.sh
. boardlib.sh
here=$(cd "$(dirname "$0")" && pwd)
driver=browser
[ "$name" != protocol ] || driver=protocol
for f in /usr/bin/chromium /usr/bin/chromedriver; do
	[ -x $f ] || { echo "no $f (apt-get install chromium chromium-driver)"; exit 77; }
done
/usr/bin/python3 -c 'import selenium, aiohttp' 2>/dev/null ||
	{ echo "no python3-selenium or python3-aiohttp"; exit 77; }

# The touch case's contact chatters, as boardsim's --bounce makes it.
options=()
[ "$name" != touch ] || options=(--bounce 10)
panel --port 0 "${options[@]}" >"$out/panel.log" 2>&1 &
panel=$!
trap 'kill "$panel" 2>/dev/null || true; wait "$panel" 2>/dev/null || true' EXIT
wait_until 60 eval 'test -e "$out/ready" || ! kill -0 "$panel" 2>/dev/null'
test -e "$out/ready" || { echo "FAIL: the panel did not start"; cat "$out/panel.log"; exit 1; }
# Chromium's profile and shared memory go to the sandbox's /tmp and /dev/shm.
status=0
HOME=/tmp /usr/bin/python3 "$here/$driver.py" "$name" "$(cat "$out/url")" "$out" || status=$?
if [ $status != 0 ]; then
	for f in syslog signals journal files filetext panel.log; do echo "--- $f"; cat "$out/$f"; done >&2
fi
exit $status
