"""browser.py CASE URL OUT: one case of the board panel in headless
Chromium, against the panel at URL whose run folder is OUT (in the
sandbox). Cases: mouse, keyboard, touch, tab_closed, origin. Each asserts
on the page's records and the sandbox's, never on pixels, and times its
presses from the LEDs as the page shows them."""

import http.server
import os
import signal
import sys
import threading

import rig
from rig import Failure, wait_until
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys

TRIGGER = "/tmp/tesk_trigger"
ACTIONS = {2: ("command", "tallyrep -i -l -s buttonpush"),
           3: ("file", f"{TRIGGER} holds: User Button Checkin")}


def leds_expected(n):
    """The LEDs through a selection of n: the blink, the counts, the verdict's blink."""
    return [rig.ALL_LIT, 0] * 4 + list(range(1, n + 1)) + [0, n] * 4 + [0]


def selection_done(b, out, n):
    """The page shows the whole selection of n and its action, and the
    sandbox's records agree with the page line by line, to the microsecond."""
    src, line = ACTIONS[n]

    def done():
        leds = [r[3] for r in b.records() if r[0] == "leds"]
        return leds[-len(leds_expected(n)):] == leds_expected(n) and \
            len(b.shown("lumend")) == 3 and line in b.shown(src)
    try:
        wait_until(f"the selection of {n} and its action on the page", done)
    except Failure as e:
        raise Failure(f"{e}; LEDs shown {[r[3] for r in b.records() if r[0] == 'leds']}, "
                      f"expected {leds_expected(n)} at the end") from None
    daemon = [t.split("buttond: ", 1)[1] for t in b.shown("syslog") if "buttond: " in t]
    want = ["Start of button hold...", " Button was held for 4 SEC..."] + \
        [f" Button Pressed {i}" for i in range(1, n + 1)] + [f"Running Command for Action {n}."]
    if daemon[-len(want):] != want:
        raise Failure(f"the daemon's lines on the page: {daemon}")
    if b.shown("lumend") != ["got SIGUSR1", "got SIGUSR2", "got SIGUSR2"]:
        raise Failure(f"lumend's signals on the page: {b.shown('lumend')}")
    agree(b, out)


def agree(b, out):
    zero, _ = rig.board_events(out)
    page = b.records()
    # Every record of the sandbox as (its source on the page, stamp, text).
    want = [(src, f[0], text(f)) for name, src, text in (
        ("syslog", "syslog", lambda f: f[4]), ("signals", "lumend", lambda f: f[1]),
        ("journal", "command", lambda f: " ".join(f[1:]).strip()), ("files", "file", lambda f: f[1]),
        ("filetext", "file", lambda f: f[2])) for f in rig.read_records(out, name)]
    for f in rig.read_records(out, "filetext"):
        with open(f[1]) as real:
            if f[2] not in real.read().splitlines():
                raise Failure(f"{f[1]} holds no line {f[2]!r}")
    for src, stamp, text in want:
        t = rig.since_zero_us(stamp, zero)
        if not any(r[0] == src and r[1] == t and text in r[2] for r in page):
            raise Failure(f"the page lacks the record {src} {stamp} ({t} us) {text!r}")


def finger_moves(out):
    return [v for _, kind, v in rig.board_events(out)[1] if kind == "finger"]


# The cases.

def mouse(b, out):
    """Hold until the LEDs blink, the pointer wandering off the button
    meanwhile and let go there, then click three times; a picture of the
    panel in the middle of the selection."""
    hand = b.mouse()
    # In one action call: WebDriver moves a pointer with no button held in the next.
    b.hold_blink((lambda: ActionChains(b.driver).move_to_element(b.push).click_and_hold()
                  .move_by_offset(0, 300).perform(), hand[1]))
    b.wait_dark()

    def picture(i):
        if i == 2:
            b.driver.save_screenshot(os.path.join(out, "screenshot.png"))
    b.count_to(3, [hand], picture)
    selection_done(b, out, 3)
    with open(os.path.join(out, "screenshot.png"), "rb") as f:
        head = f.read(24)
    width, height = int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")
    if head[:8] != b"\x89PNG\r\n\x1a\n" or width < 1200 or height < 700:
        raise Failure(f"the picture is not a PNG of the window: {head[:8]!r} {width}x{height}")


def keyboard(b, out):
    """Space held through the blink, the keyboard repeating meanwhile as
    a real one does, then a tap of Space, Enter and Space; then Space held
    while the page loses the focus to another tab."""
    def repeats():
        for _ in range(3):
            b.driver.execute_cdp_cmd("Input.dispatchKeyEvent", {
                "type": "keyDown", "autoRepeat": True, "key": " ", "code": "Space",
                "windowsVirtualKeyCode": 32, "nativeVirtualKeyCode": 32})
    b.driver.find_element("tag name", "body").click()
    b.hold_blink(b.key(), repeats)
    b.wait_dark()
    b.count_to(3, [b.key(), b.key(Keys.ENTER), b.key()])
    selection_done(b, out, 3)
    page = b.driver.current_window_handle
    b.key()[0]()
    wait_until("the press on the page", lambda: b.board()["finger"] == "down", 10)
    b.driver.switch_to.new_window("tab")
    wait_until("the button let go", lambda: finger_moves(out)[-1] == "up", 10)
    b.driver.close()
    b.driver.switch_to.window(page)
    if finger_moves(out)[1:] != ["down", "up"] * 5:
        raise Failure(f"the finger moved {finger_moves(out)[1:]}, not five presses")


def touch(b, out):
    """On a contact that chatters for 10 ms (boardsim's --bounce 10): a
    touch held through the blink, a touch tap and a pen tap, each press
    and release chattering; then two taps typed in the gesture words box."""
    b.hold_blink(b.touch())
    b.wait_dark()
    b.count_to(2, [b.touch(), b.pen()])
    selection_done(b, out, 2)
    pins = [v for _, kind, v in rig.board_events(out)[1] if kind == "pin"]
    if len(pins) <= 2 * len(finger_moves(out)):
        raise Failure(f"the pin toggled {len(pins)} times for {len(finger_moves(out))} moves: no chatter")
    box = b.driver.find_element("id", "wordsText")
    box.send_keys("tap x2", Keys.ENTER)
    wait_until("the typed taps", lambda: len(finger_moves(out)) == 1 + 6 + 4)
    if b.driver.find_element("id", "note").text != "played: tap x2":
        raise Failure(f"the page says {b.driver.find_element('id', 'note').text!r}")


def tab_closed(b, out):
    """A tab closed while it holds the button: the button goes up and the
    daemon finds no hold. The first tab watches, as a second viewer, and
    shows that it is reconnecting once the server has gone."""
    d = b.driver
    watcher = d.current_window_handle
    d.switch_to.new_window("tab")
    b.open(URL)
    press, _ = b.mouse()
    press()
    # Closed once the daemon has seen the hold begin, well before its 4 s.
    wait_until("the hold's start", lambda: any(
        "Start of button hold" in t for t in b.shown("syslog")), 10)
    d.close()
    d.switch_to.window(watcher)
    wait_until("the button up for the watcher", lambda: b.board()["finger"] == "up", 10)
    wait_until("the daemon's verdict", lambda: any(
        "Was not held long enough" in t for t in b.shown("syslog")))
    if finger_moves(out)[1:] != ["down", "up"]:
        raise Failure(f"the finger moved {finger_moves(out)[1:]}")
    if rig.read_records(out, "signals") or b.shown("lumend"):
        raise Failure("lumend was signalled")
    os.kill(int(open(os.path.join(out, "server.pid")).read()), signal.SIGKILL)
    wait_until("the page reconnecting", lambda: b.link() == "reconnecting", 10)


def origin(b, out):
    """A page from another origin (here another port) cannot open the
    board's WebSocket, nor press the button through it."""
    ws = URL.replace("http:", "ws:") + "ws"
    page = f"""<!doctype html><title>waiting</title><script>
const ws = new WebSocket({ws!r});
ws.onopen = () => {{ ws.send('{{"t":"down"}}'); document.title = 'opened'; }};
ws.onclose = e => {{ document.title += ' closed ' + e.code; }};
</script>""".encode()

    class Foreign(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.end_headers()
            self.wfile.write(page)

        def log_message(self, *args):
            pass
    server = http.server.HTTPServer(("127.0.0.1", 0), Foreign)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        b.driver.get(f"http://127.0.0.1:{server.server_port}/")
        title = wait_until("the foreign page's verdict",
                           lambda: "closed" in b.driver.title and b.driver.title, 10)
    finally:
        server.shutdown()
    if "opened" in title or finger_moves(out)[1:]:
        raise Failure(f"the foreign page connected: {title}, the finger moved {finger_moves(out)[1:]}")


CASES = {f.__name__: f for f in (mouse, keyboard, touch, tab_closed, origin)}

if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] not in CASES:
        raise SystemExit(f"usage: browser.py {'|'.join(CASES)} URL OUT")
    name, URL, OUT = sys.argv[1:]
    browser = rig.Browser()
    try:
        if name != "origin":
            browser.open(URL)
        CASES[name](browser, OUT)
    except Failure as e:
        print(f"FAIL: {name}: {e}", file=sys.stderr)
        for r in browser.records():
            print("page:", *r, file=sys.stderr)
        sys.exit(1)
    finally:
        browser.quit()
    print(f"PASS: {name}")
