"""protocol.py protocol URL OUT: the panel's server as any client sees it,
without a browser: what it serves and refuses, bad messages, viewers that
share the board or drop off, and the button let go when the server dies.
(Another origin's WebSocket is browser.py's origin case.)"""

import asyncio
import base64
import json
import os
import shutil
import signal
import socket
import struct
import sys

import aiohttp
import rig
import yarl
from rig import Failure

sys.path.insert(0, os.path.dirname(shutil.which("tracemerge") or "."))
import vcdfile  # noqa: E402  (from the build's bin, on the sandbox's PATH)

# What is sent, and a word of the refusal that must come back.
BAD = [
    ("not json", "not JSON"),
    ("[1, 2]", "an object"),
    ("[" * 500 + "]" * 500, "an object"),
    ('{"t": 5}', "an object"),
    ('{"t": "reboot"}', "no message of type 'reboot'"),
    ('{"t": "words"}', "gesture words"),
    ('{"t": "words", "text": 42}', "gesture words"),
    ('{"t": "words", "text": "tap; sh -c reboot"}', "gesture words"),
    ('{"t": "words", "text": "../../etc/passwd"}', "gesture words"),
    ('{"t": "words", "text": "tap\\nhold 3600"}', "gesture words"),
    ('{"t": "words", "text": "' + "tap " * 40 + '"}', "gesture words"),
    ("x" * 2000, "at most 1024 bytes"),
    (b"\x00\x01", "not binary"),
]


def fingers(out):
    return [v for _, kind, v in rig.board_events(out)[1] if kind == "finger"][1:]


async def next_of(ws, kind, test=lambda m: True):
    """The next message of a kind that passes test."""
    async def read():
        while True:
            msg = await ws.receive()
            if msg.type != aiohttp.WSMsgType.TEXT:
                raise Failure(f"the connection ended ({ws.close_code}) before a {kind!r}")
            m = json.loads(msg.data)
            if m["t"] == kind and test(m):
                return m
    try:
        return await asyncio.wait_for(read(), 10 * rig.MULTIPLIER)
    except asyncio.TimeoutError:
        raise Failure(f"no {kind!r} message came") from None


def dropped_press(url, payload):
    """A viewer that presses (or types) and then vanishes without a word: a
    raw WebSocket whose connection is reset."""
    host, port = url.split("/")[2].split(":")
    sock = socket.create_connection((host, int(port)))
    key = base64.b64encode(os.urandom(16)).decode()
    sock.sendall((f"GET /ws HTTP/1.1\r\nHost: {host}:{port}\r\nUpgrade: websocket\r\n"
                  f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                  "Sec-WebSocket-Version: 13\r\n\r\n").encode())
    if b" 101 " not in sock.recv(4096).split(b"\r\n")[0]:
        raise Failure("no WebSocket for a plain client")
    mask = os.urandom(4)
    sock.sendall(bytes([0x81, 0x80 | len(payload)]) + mask +
                 bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))
    return sock


def finger(ws, move):
    """The next event of boardsim's finger making that move."""
    return next_of(ws, "ev", lambda m: m["e"][1:] == ["finger", move])


async def check(url, out):
    ws_url = url.replace("http:", "ws:") + "ws"
    async with aiohttp.ClientSession() as http:
        # Served: the page's files under their names only, to this server's names only.
        for path, host, status in [("", None, 200), ("panel.js", None, 200), ("nothing", None, 404),
                                   ("%2e%2e/%2e%2e/etc/passwd", None, 404),
                                   ("", "attacker.example:80", 403)]:
            headers = {"Host": host} if host else {}
            async with http.get(yarl.URL(url + path, encoded=True), headers=headers) as r:
                if r.status != status:
                    raise Failure(f"GET /{path} (Host {host}) answered {r.status}, not {status}")
                if status == 200 and "frame-ancestors 'none'" not in r.headers.get(
                        "Content-Security-Policy", ""):
                    raise Failure(f"/{path} may be framed by another site")

        # Bad messages: each refused with its reason, the connection kept.
        a = await http.ws_connect(ws_url, headers={"Origin": url.rstrip("/")})
        await next_of(a, "hello")
        for sent, reason in BAD:
            await (a.send_bytes(sent) if isinstance(sent, bytes) else a.send_str(sent))
            why = (await next_of(a, "refused"))["why"]
            if reason not in why:
                raise Failure(f"{sent[:40]!r} refused for {why!r}, not {reason!r}")
        await a.send_str('{"t": "words", "text": "jump"}')
        rig_line = await next_of(a, "rec", lambda m: m["r"]["src"] == "rig")
        if '"jump"' not in rig_line["r"]["text"]:
            raise Failure(f"boardsim's refusal of a word: {rig_line}")

        # A second viewer sees the first one's presses, live; a typed tap too.
        b = await http.ws_connect(ws_url)
        await next_of(b, "hello")
        await a.send_str('{"t": "down"}')
        await finger(b, "down")
        await a.send_str('{"t": "up"}')
        await finger(b, "up")
        await a.send_str('{"t": "words", "text": "tap 50"}')
        await finger(b, "down")
        await finger(b, "up")

        # A frame past the limit ends that connection alone.
        await a.send_str("x" * 100000)
        while (await a.receive()).type == aiohttp.WSMsgType.TEXT:
            pass
        if a.close_code != 1009:
            raise Failure(f"an oversized frame closed with {a.close_code}, not 1009")

        # A viewer whose connection is reset mid-press lets go of the button;
        # so does one that typed a long hold: its words stop at once.
        for payload in (b'{"t":"down"}', b'{"t":"words","text":"hold 600"}'):
            sock = dropped_press(url, payload)
            await finger(b, "down")
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            sock.close()
            await finger(b, "up")

        # A viewer that comes back gets the board and the recent records.
        await b.close()
        c = await http.ws_connect(ws_url)
        hello = await next_of(c, "hello")
        if hello["board"]["finger"] != "up" or \
                sum(r["text"] == "pressed" for r in hello["records"]) != 4:
            raise Failure(f"the board anew: {hello['board']}, {len(hello['records'])} records")

        # The trace to download holds every press.
        async with http.get(url + "panel.vcd") as r:
            with open(os.path.join(out, "download.vcd"), "wb") as f:
                f.write(await r.read())
        pin = vcdfile.read(os.path.join(out, "download.vcd")).var("button_n").changes
        if sum(v == "0" for _, v in pin) != fingers(out).count("down"):
            raise Failure(f"the trace's pin {pin} for the presses {fingers(out)}")

        # The server killed while a viewer holds the button: its pipe to
        # boardsim closes, and boardsim lets go.
        await c.send_str('{"t": "down"}')
        await finger(c, "down")
        with open(os.path.join(out, "server.pid")) as f:
            os.kill(int(f.read()), signal.SIGKILL)
        rig.wait_until("the button up after the server died", lambda: fingers(out)[-1] == "up", 10)
    if fingers(out) != ["down", "up"] * 5:
        raise Failure(f"the finger moved {fingers(out)}")


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] != "protocol":
        raise SystemExit("usage: protocol.py protocol URL OUT")
    try:
        asyncio.run(check(sys.argv[2], sys.argv[3]))
    except Failure as e:
        raise SystemExit(f"FAIL: protocol: {e}")
    print("PASS: protocol")
