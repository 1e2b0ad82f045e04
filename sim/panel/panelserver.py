#!/usr/bin/python3
"""panelserver --out DIR --events FILE [--listen ADDR] [--port N] -- BOARDSIM-COMMAND...

The board panel's server, run in the sandbox by `panel`. It runs boardsim
(the command after --, which must write its changes to FILE) with its
standard input a pipe of ours, so when we end, for any reason, boardsim's
input ends and it lets go of the button. It serves the page on ADDR
(127.0.0.1) port N (8150; 0 or a port in use: any free one), writes the
URL to DIR/url, and over one WebSocket per viewer sends the board's
changes and the sandbox's records as they come, and takes presses and
gesture words.

Viewer to server, JSON text messages of at most 1024 bytes:
    {"t": "down"} {"t": "up"}          this viewer's finger on the button
    {"t": "words", "text": "count 3"}  gesture words for boardsim, one line
Server to viewer:
    {"t": "hello", ...}                the board now, its recent changes
                                       and records (on every connection)
    {"t": "ev", "e": [US, KIND, VALUE]} one change of the board
    {"t": "rec", "r": {...}}           one record for the list
    {"t": "said", "text": ...}         gesture words passed to boardsim
    {"t": "refused", "why": ...}       a message not taken, and why

The button is down while any viewer holds it; a viewer that goes away
lets go of it."""

import argparse
import asyncio
import collections
import ctypes
import datetime
import errno
import json
import os
import re
import signal
import socket
import struct
import sys
import time

from aiohttp import WSMsgType, web

HERE = os.path.dirname(os.path.realpath(__file__))
sys.path.insert(0, HERE)
import vcdfile  # noqa: E402  (beside this script in the build's bin)

PRIORITIES = ["emerg", "alert", "crit", "err", "warning", "notice", "info", "debug"]
# The sandbox's records (sandbox.sh) and the panel's own file text record.
RECORDS = ("syslog", "signals", "journal", "files", "filetext")
WORDS = re.compile(r"[a-z0-9. ]{1,120}")
MAX_MESSAGE = 1024          # longer text is refused, the connection kept
MAX_FRAME = 64 * 1024       # a longer frame ends the connection (1009)
KEEP_US = 60 * 10**6        # the timeline's history sent to a new viewer
KEEP_RECORDS = 1000
BACKLOG = 20000             # messages a stalled viewer may fall behind
DAY_MS = 86400 * 1000
# The page's files, by the only names served.
PAGE = {
    "/": ("index.html", "text/html"),
    "/panel.js": ("panel.js", "text/javascript"),
    "/timeline.js": ("timeline.js", "text/javascript"),
    "/panel.css": ("panel.css", "text/css"),
}
HEADERS = {
    "Content-Security-Policy": "default-src 'self'; connect-src 'self'; img-src 'self' data:; "
                               "frame-ancestors 'none'; base-uri 'none'; form-action 'none'",
    "X-Content-Type-Options": "nosniff",
    "Referrer-Policy": "no-referrer",
    "Cache-Control": "no-store",
}


def leds_text(word):
    """The four count LEDs, highest first (● lit, a 0 bit), and their number."""
    return "".join("○" if word >> bit & 1 else "●" for bit in (3, 2, 1, 0)) + f" {~word & 0xF}"


def day_ms(stamp):
    """A record's HH:MM:SS.mmm as milliseconds since midnight."""
    h, m, s = stamp.split(":")
    sec, frac = s.split(".")
    if not (len(frac) == 3 and h.isdigit() and m.isdigit() and sec.isdigit() and frac.isdigit()):
        raise ValueError(stamp)
    return ((int(h) * 60 + int(m)) * 60 + int(sec)) * 1000 + int(frac)


class Board:
    """What boardsim's events and the sandbox's records say, as the viewers
    get it: the board now, its recent changes, the recent records."""

    def __init__(self, broadcast):
        self.broadcast = broadcast
        self.zero = None            # the board's time 0: "YYYY-MM-DD HH:MM:SS.uuuuuu"
        self.zero_epoch_ms = None
        self.zero_day_ms = None
        self.state = {"led": "FFFFFFFF", "pin": "high", "latch": "clear", "finger": "up"}
        self.down_us = None
        self.last_us = 0
        self.seen = set()
        self.events = collections.deque()
        self.records = collections.deque(maxlen=KEEP_RECORDS)
        self.pending = []           # records that came before time 0 was known

    def hello(self):
        return {"t": "hello", "zero": self.zero, "zeroMs": self.zero_epoch_ms,
                "board": self.state, "events": list(self.events),
                "records": list(self.records)}

    def record(self, us, src, text, **more):
        r = {"t": us, "src": src, "text": text, **more}
        self.records.append(r)
        self.broadcast({"t": "rec", "r": r})

    def event_line(self, line):
        """One line of boardsim's events file."""
        fields = line.split("\t", 2)
        if len(fields) != 3 or not fields[0].isdigit():
            return
        us, kind, value = int(fields[0]), fields[1], fields[2]
        if kind == "zero":
            try:
                when = datetime.datetime.strptime(value, "%Y-%m-%d %H:%M:%S.%f")
            except ValueError:
                return
            when = when.replace(tzinfo=datetime.timezone.utc)
            self.zero = value
            self.zero_epoch_ms = when.timestamp() * 1000
            self.zero_day_ms = (when.hour * 3600 + when.minute * 60 + when.second) * 1000 \
                + when.microsecond / 1000
            self.broadcast(self.hello())
            for name, line in self.pending:
                self.record_line(name, line)
            self.pending = []
            return
        if kind == "fault":
            self.record(us, "rig", "boardsim: " + value)
            return
        if kind not in self.state or kind in self.seen and value == self.state[kind]:
            return
        if kind == "led":
            try:
                word = int(value, 16)
            except ValueError:
                return
            before = int(self.state["led"], 16)
        first = kind not in self.seen
        self.seen.add(kind)
        self.state[kind] = value
        self.last_us = max(self.last_us, us)
        self.events.append([us, kind, value])
        while self.events and self.events[0][0] < self.last_us - KEEP_US:
            self.events.popleft()
        self.broadcast({"t": "ev", "e": [us, kind, value]})
        if first:
            return
        if kind == "led":
            if (word ^ before) & 0xF:
                self.record(us, "leds", leds_text(word), count=~word & 0xF)
        elif kind == "latch":
            self.record(us, "latch", value)
        elif kind == "finger" and value == "down":
            self.down_us = us
            self.record(us, "button", "pressed")
        elif kind == "finger":
            held = {} if self.down_us is None else {"heldUs": us - self.down_us}
            self.record(us, "button", "released" + (
                f" after {held['heldUs'] / 1e6:.3f} s" if held else ""), **held)
            self.down_us = None

    def now_us(self):
        """The board's clock now, from the wall clock at its time 0."""
        if self.zero_epoch_ms is None:
            return 0
        return max(0, round((time.time() * 1000 - self.zero_epoch_ms) * 1000))

    def record_line(self, name, line):
        """One line of a sandbox record file, on the board's clock."""
        if self.zero is None:
            self.pending.append((name, line))
            return
        f = line.split("\t")
        try:
            ms = day_ms(f[0])
        except ValueError:
            return
        # Since time 0, across midnight; a line from before it counts as 0.
        t = (ms - self.zero_day_ms) % DAY_MS
        us = 0 if t > DAY_MS / 2 else round(t * 1000)
        if name == "syslog" and len(f) >= 5:
            prio = int(f[2]) if f[2].isdigit() else 5
            name_ = PRIORITIES[prio] if prio < len(PRIORITIES) else str(prio)
            self.record(us, "syslog", f"{f[1]}.{name_} {f[3]}: {f[4]}", prio=prio)
        elif name == "signals" and len(f) >= 2:
            self.record(us, "lumend", "got " + f[1])
        elif name == "journal" and len(f) >= 2:
            self.record(us, "command", " ".join(x for x in f[1:] if x))
        elif name == "files" and len(f) >= 2:
            self.record(us, "file", f[1] + " written")
        elif name == "filetext" and len(f) >= 3:
            self.record(us, "file", f"{f[1]} holds: {f[2]}")


class Follower:
    """Every line of some files, from their start and as they grow: the
    kernel says when their folders change (inotify), and a poll every
    second stands in where it cannot."""

    IN_MODIFY, IN_CLOSE_WRITE, IN_MOVED_TO, IN_CREATE = 0x2, 0x8, 0x80, 0x100

    def __init__(self, handlers):
        self.handlers = {os.path.realpath(p): h for p, h in handlers.items()}
        self.files, self.partial = {}, {}
        self.loop = asyncio.get_running_loop()
        libc = ctypes.CDLL(None, use_errno=True)
        self.fd = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        self.watches = {}
        for folder in {os.path.dirname(p) for p in self.handlers}:
            wd = libc.inotify_add_watch(self.fd, folder.encode(), self.IN_MODIFY | self.IN_CLOSE_WRITE
                                        | self.IN_MOVED_TO | self.IN_CREATE) if self.fd >= 0 else -1
            self.watches[wd] = folder
        if self.fd >= 0:
            self.loop.add_reader(self.fd, self.changed)
        self.poll = self.loop.call_soon(self.tick)

    def tick(self):
        for path in self.handlers:
            self.read(path)
        self.poll = self.loop.call_later(1, self.tick)

    def changed(self):
        try:
            data = os.read(self.fd, 1 << 16)
        except BlockingIOError:
            return
        at = 0
        while at + 16 <= len(data):
            wd, _, _, size = struct.unpack_from("iIII", data, at)
            name = data[at + 16:at + 16 + size].rstrip(b"\0").decode(errors="replace")
            at += 16 + size
            path = os.path.join(self.watches.get(wd, ""), name)
            if path in self.handlers:
                self.read(path)

    def read(self, path):
        f = self.files.get(path)
        if f is None:
            try:
                f = self.files[path] = open(path, "rb")
            except FileNotFoundError:
                return
        chunk = f.read()
        if not chunk:
            return
        *lines, rest = (self.partial.get(path, b"") + chunk).split(b"\n")
        self.partial[path] = rest if len(rest) < 1 << 20 else b""    # no writer of ours makes one
        for line in lines:
            self.handlers[path](line.decode(errors="replace"))

    def stop(self):
        self.poll.cancel()
        if self.fd >= 0:
            self.loop.remove_reader(self.fd)
            os.close(self.fd)
        for f in self.files.values():
            f.close()


class Viewer:
    """One WebSocket, fed from its own queue so a slow one holds up no other."""

    def __init__(self, ws):
        self.ws = ws
        self.queue = asyncio.Queue()
        self.holding = False
        self.typed = False
        self.dropped = False
        self.pump = asyncio.create_task(self.run())

    def send(self, text):
        if self.dropped:
            return
        if self.queue.qsize() >= BACKLOG:
            # Fallen too far behind: it gets the board afresh on reconnecting.
            self.dropped = True
            asyncio.create_task(self.ws.close(code=1008, message=b"too far behind"))
            return
        self.queue.put_nowait(text)

    async def run(self):
        try:
            while True:
                await self.ws.send_str(await self.queue.get())
        except (ConnectionError, RuntimeError):
            pass


class Panel:
    def __init__(self, args):
        self.args = args
        self.out = os.path.realpath(args.out)
        self.viewers = set()
        self.board = Board(self.broadcast)
        self.boardsim = None
        self.hosts = set()
        self.trace_lock = asyncio.Lock()
        self.ended = asyncio.Event()
        self.status = 0

    # The board.

    def broadcast(self, msg):
        text = json.dumps(msg, separators=(",", ":"))
        for v in list(self.viewers):
            v.send(text)

    def say(self, line):
        """A line to boardsim's input; false if boardsim is gone."""
        try:
            self.boardsim.stdin.write(line.encode() + b"\n")
            return True
        except (ConnectionError, AttributeError, RuntimeError):
            return False

    def holders(self):
        return sum(v.holding for v in self.viewers)

    def press(self, viewer, down):
        if down == viewer.holding:
            return
        viewer.holding = down
        n = self.holders()
        if down and n == 1:
            self.say("down")
        elif not down and n == 0:
            self.say("up")

    def gone(self, viewer):
        """A viewer's connection has ended: its finger leaves the button,
        and the words it typed stop, at once."""
        self.viewers.discard(viewer)
        viewer.pump.cancel()
        if (viewer.holding or viewer.typed) and self.holders() == 0:
            self.say("let go")
        viewer.holding = False

    async def run_boardsim(self, command):
        try:
            with open(os.path.join(self.out, "boardsim"), "ab") as said:
                self.boardsim = await asyncio.create_subprocess_exec(
                    *command, stdin=asyncio.subprocess.PIPE, stdout=said,
                    stderr=asyncio.subprocess.PIPE)
        except OSError as e:
            print(f"panel: cannot run {command[0]}: {e.strerror}", file=sys.stderr)
            self.status = 1
            self.ended.set()
            return
        # What boardsim says on stderr (refused words, sights that never
        # came) goes to the viewers and into its record.
        with open(os.path.join(self.out, "boardsim"), "a") as log:
            async for raw in self.boardsim.stderr:
                line = raw.decode(errors="replace").rstrip("\n")
                log.write(line + "\n")
                log.flush()
                print(line, file=sys.stderr, flush=True)
                self.board.record(self.board.now_us(), "rig", line)
        status = await self.boardsim.wait()
        if not self.ended.is_set():
            print(f"panel: boardsim ended (status {status})", file=sys.stderr)
            self.status = 1
            self.ended.set()

    # The viewers.

    def refuse(self, viewer, why):
        viewer.send(json.dumps({"t": "refused", "why": why}))

    def message(self, viewer, data):
        if len(data) > MAX_MESSAGE:
            return self.refuse(viewer, f"a message is at most {MAX_MESSAGE} bytes, not {len(data)}")
        try:
            msg = json.loads(data)
        except (ValueError, RecursionError):
            return self.refuse(viewer, "not JSON")
        if not isinstance(msg, dict) or not isinstance(msg.get("t"), str):
            return self.refuse(viewer, 'a message is an object with a type, {"t": ...}')
        kind = msg["t"]
        if kind in ("down", "up"):
            self.press(viewer, kind == "down")
        elif kind == "words":
            text = msg.get("text")
            if not isinstance(text, str) or not WORDS.fullmatch(text.strip()):
                return self.refuse(viewer, "gesture words are one line of at most 120 lower-case "
                                           "letters, digits, spaces and dots")
            viewer.typed = True
            if self.say(text.strip()):
                viewer.send(json.dumps({"t": "said", "text": text.strip()}))
        else:
            self.refuse(viewer, f"no message of type {kind[:40]!r}")

    async def socket(self, request):
        origin = request.headers.get("Origin")
        if origin is not None and origin.lower() not in {"http://" + h for h in self.hosts}:
            return web.Response(status=403, text=f"panel: a page from {origin[:100]} may not use the board\n")
        ws = web.WebSocketResponse(heartbeat=10, timeout=2, max_msg_size=MAX_FRAME)
        await ws.prepare(request)
        viewer = Viewer(ws)
        viewer.send(json.dumps(self.board.hello(), separators=(",", ":")))
        self.viewers.add(viewer)
        try:
            async for msg in ws:
                if msg.type == WSMsgType.TEXT:
                    self.message(viewer, msg.data)
                elif msg.type == WSMsgType.BINARY:
                    self.refuse(viewer, "messages are JSON text, not binary")
        finally:
            self.gone(viewer)
        return ws

    async def page(self, request):
        name, kind = PAGE[request.path]
        try:
            with open(os.path.join(self.args.web, name), "rb") as f:
                body = f.read()
        except OSError:
            raise web.HTTPNotFound()
        return web.Response(body=body, content_type=kind, charset="utf-8")

    async def trace(self, request):
        """The run's trace so far: the board's changes, with the daemon's
        side merged in by tracemerge, as panel.vcd or panel-full.vcd."""
        full = request.path == "/panel-full.vcd"
        async with self.trace_lock:
            board = os.path.join(self.out, "panel-board.vcd")
            try:
                await asyncio.to_thread(write_board_trace, self.args.events, board,
                                        self.board.now_us())
            except (OSError, ValueError) as e:
                return web.Response(status=503, text=f"panel: no trace yet: {e}\n")
            merge = await asyncio.create_subprocess_exec(
                os.path.join(HERE, "tracemerge"), board, self.out,
                os.path.join(self.out, "panel.vcd"), stdout=asyncio.subprocess.DEVNULL,
                stderr=asyncio.subprocess.PIPE)
            _, err = await merge.communicate()
            if merge.returncode != 0:
                return web.Response(status=500, text=err.decode(errors="replace"))
            with open(os.path.join(self.out, "panel-full.vcd" if full else "panel.vcd"), "rb") as f:
                body = f.read()
        name = "panel-full.vcd" if full else "panel.vcd"
        return web.Response(body=body, content_type="text/plain", headers={
            "Content-Disposition": f'attachment; filename="{name}"'})

    @web.middleware
    async def guard(self, request, handler):
        # Only the names this server is reached by: a page of another site
        # whose name was made to point here is refused.
        if request.headers.get("Host", "").lower() not in self.hosts:
            return web.Response(status=403, text="panel: not a name of this server\n")
        response = await handler(request)
        if not isinstance(response, web.WebSocketResponse):
            response.headers.update(HEADERS)
        return response

    async def serve(self, command):
        os.makedirs(self.out, exist_ok=True)
        boardsim = asyncio.create_task(self.run_boardsim(command))
        follower = Follower({self.args.events: self.board.event_line, **{
            os.path.join(self.out, name): lambda line, n=name: self.board.record_line(n, line)
            for name in RECORDS}})

        app = web.Application(middlewares=[self.guard], client_max_size=MAX_MESSAGE)
        app.router.add_get("/ws", self.socket)
        for path in PAGE:
            app.router.add_get(path, self.page)
        app.router.add_get("/panel.vcd", self.trace)
        app.router.add_get("/panel-full.vcd", self.trace)
        runner = web.AppRunner(app, access_log=None, handle_signals=False)
        await runner.setup()
        sock = listening(self.args.listen, self.args.port)
        port = sock.getsockname()[1]
        await web.SockSite(runner, sock).start()
        listen = f"[{self.args.listen}]" if ":" in self.args.listen else self.args.listen
        self.hosts = {f"{h}:{port}" for h in ("127.0.0.1", "localhost", "[::1]", listen.lower())}
        if port == 80:
            self.hosts |= {h.rsplit(":", 1)[0] for h in self.hosts}
        url = f"http://{listen}:{port}/"
        with open(os.path.join(self.out, "url"), "w") as f:
            f.write(url + "\n")
        print(f"panel: {url}", flush=True)

        loop = asyncio.get_running_loop()
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            loop.add_signal_handler(sig, self.ended.set)
        await self.ended.wait()

        # Going away: the viewers are told, boardsim's input ends (it lets go
        # of the button and ends).
        await asyncio.gather(*(v.ws.close(code=1001, message=b"the panel is stopping")
                               for v in list(self.viewers)), return_exceptions=True)
        if self.boardsim and self.boardsim.stdin:
            self.boardsim.stdin.close()
        try:
            await asyncio.wait_for(asyncio.shield(boardsim), 5)
        except asyncio.TimeoutError:
            self.boardsim.kill()
        follower.stop()
        await runner.cleanup()
        return self.status


def listening(address, port):
    """A socket bound to address and port, or to any free port if that one
    is taken (port 0 asks for any)."""
    family = socket.AF_INET6 if ":" in address else socket.AF_INET
    sock = socket.socket(family, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        sock.bind((address, port))
    except OSError as e:
        if port == 0 or e.errno != errno.EADDRINUSE:
            raise
        print(f"panel: port {port} is taken, taking a free one", file=sys.stderr)
        sock.bind((address, 0))
    sock.listen(128)
    sock.setblocking(False)
    return sock


def write_board_trace(events, path, end):
    """The events file as a trace in boardsim's own variables, 1 us a tick."""
    date, last = "", {}
    board = {name: vcdfile.Var("board", "wire", width, name, [(0, value)]) for name, width, value in (
        ("button_n", 1, "1"), ("latch", 1, "0"), ("led0", 1, "0"), ("led1", 1, "0"),
        ("led2", 1, "0"), ("led3", 1, "0"), ("count", 4, "0000"), ("led_word", 32, "1" * 32))}

    def change(name, t, value):
        var = board[name]
        if var.changes[-1][1] != value:
            var.changes.append((t, value))

    with open(events, errors="replace") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t", 2)
            if len(fields) != 3 or not fields[0].isdigit():
                continue
            t, kind, value = int(fields[0]), fields[1], fields[2]
            last[kind] = t
            if kind == "zero":
                date = value + " UTC"
            elif kind == "pin":
                change("button_n", t, "0" if value == "low" else "1")
            elif kind == "latch":
                change("latch", t, "1" if value == "set" else "0")
            elif kind == "led":
                try:
                    word = int(value, 16)
                except ValueError:
                    continue
                for i in range(4):
                    change(f"led{i}", t, "0" if word >> i & 1 else "1")
                change("count", t, format(~word & 0xF, "04b"))
                change("led_word", t, format(word, "032b"))
    if not date:
        raise ValueError("no time zero in the events yet")
    trace = vcdfile.Trace(date=date, vars=list(board.values()))
    trace.end = max([end] + list(last.values()))
    vcdfile.write(path, trace)


def main():
    usage = __doc__.splitlines()[0]
    argv = sys.argv[1:]
    if "--" not in argv:
        raise SystemExit("usage: " + usage)
    split = argv.index("--")
    p = argparse.ArgumentParser(prog="panelserver", usage=usage)
    p.add_argument("--out", required=True)
    p.add_argument("--events", required=True)
    p.add_argument("--listen", default="127.0.0.1")
    p.add_argument("--port", type=int, default=8150)
    p.add_argument("--web", default=os.path.join(HERE, "panel-web"))
    args = p.parse_args(argv[:split])
    command = argv[split + 1:]
    if not command or not 0 <= args.port <= 65535:
        raise SystemExit("usage: " + usage)
    try:
        sys.exit(asyncio.run(Panel(args).serve(command)))
    except OSError as e:
        raise SystemExit(f"panel: {e}")


if __name__ == "__main__":
    main()
