"""The board panel in headless Chromium, driven as a person drives it:
press, watch the LEDs on the page, let go. Shared by the panel's tests
and bench/panel. Runs in the sandbox beside a running `panel`, whose run
folder (OUT) holds the sandbox's records and boardsim's events."""

import os
import shutil
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions import interaction
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.actions.pointer_input import PointerInput
from selenium.webdriver.common.keys import Keys

MULTIPLIER = int(os.environ.get("BUTTOND_TIMEOUT_MULTIPLIER", "1"))
ALL_LIT = 15
# As root on a closed network: no sandbox, nothing fetched in the background.
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--window-size=1280,900"]


class Failure(Exception):
    pass


def wait_until(what, test, seconds=30, every=0.05):
    """test()'s first true value, within seconds times the multiplier."""
    end = time.monotonic() + seconds * MULTIPLIER
    while True:
        value = test()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure(f"{what} never came in {seconds * MULTIPLIER} s")
        time.sleep(every)


class Browser:
    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in FLAGS + ["--user-data-dir=" + self.profile]:
            options.add_argument(flag)
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)

    def quit(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)

    def open(self, url):
        self.driver.get(url)
        wait_until("the page's connection", lambda: self.link() == "live")
        self.push = self.driver.find_element("id", "push")

    def link(self):
        return self.driver.execute_script("return document.getElementById('link').dataset.link")

    def board(self):
        """The board as the page shows it: led, count, pin, latch, finger."""
        return self.driver.execute_script("return {...document.getElementById('board').dataset}")

    def count(self):
        return int(self.board()["count"])

    def records(self):
        """The page's list: (src, time in us, text, count or None) in its order."""
        return [tuple(r) for r in self.driver.execute_script(
            "return [...document.querySelectorAll('#list li')].map(li => [li.dataset.src,"
            " Number(li.dataset.t), li.querySelector('.what').textContent,"
            " li.dataset.count === undefined ? null : Number(li.dataset.count)])")]

    def shown(self, src):
        return [r[2] for r in self.records() if r[0] == src]

    # Hands. Each is (press, release) for the button.

    def mouse(self):
        return (lambda: ActionChains(self.driver).move_to_element(self.push).click_and_hold().perform(),
                lambda: ActionChains(self.driver).release().perform())

    def pen(self):
        def act(down):
            builder = ActionBuilder(self.driver, mouse=PointerInput(interaction.POINTER_PEN, "pen"))
            if down:
                builder.pointer_action.move_to(self.push).pointer_down()
            else:
                builder.pointer_action.pointer_up()
            builder.perform()
        return lambda: act(True), lambda: act(False)

    def touch(self):
        """A finger on a touch screen, through the DevTools protocol: a touch
        held across WebDriver's action calls is never lifted."""
        def act(kind):
            points = []
            if kind == "touchStart":
                x, y = self.driver.execute_script(
                    "const r = arguments[0].getBoundingClientRect();"
                    " return [r.x + r.width / 2, r.y + r.height / 2]", self.push)
                points = [{"x": x, "y": y, "id": 1}]
            self.driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": kind, "touchPoints": points})
        return lambda: act("touchStart"), lambda: act("touchEnd")

    def key(self, key=Keys.SPACE):
        return (lambda: ActionChains(self.driver).key_down(key).perform(),
                lambda: ActionChains(self.driver).key_up(key).perform())

    # Gestures, watching the LEDs on the page as `hold blink`, `wait dark`
    # and `count N` do.

    def blinks(self):
        """How often the page's list has shown all four LEDs lit."""
        return self.driver.execute_script(
            f"return document.querySelectorAll('#list li[data-count=\"{ALL_LIT}\"]').length")

    def hold_blink(self, hand, while_held=lambda: None):
        press, release = hand
        before = self.blinks()
        press()
        wait_until("the press on the page", lambda: self.board()["finger"] == "down", 10)
        while_held()
        # From the list, which keeps a lit half a slow look at the LEDs would miss.
        wait_until("the selection blink", lambda: self.blinks() > before)
        release()

    def wait_dark(self):
        """Until the LEDs have been dark for a second, longer than a blink keeps them."""
        since = [None]

        def dark():
            if self.count() != 0:
                since[0] = None
            elif since[0] is None:
                since[0] = time.monotonic()
            return since[0] is not None and time.monotonic() - since[0] >= 1
        wait_until("the LEDs dark and still", dark)

    def tap(self, hand):
        press, release = hand
        press()
        time.sleep(0.12)        # a finger's tap
        release()

    def count_to(self, n, hands, each=lambda i: None):
        """n taps, each once the LEDs show the one before; hands by turn."""
        for i in range(1, n + 1):
            self.tap(hands[(i - 1) % len(hands)])
            wait_until(f"the count {i}", lambda: self.count() == i, 10)
            each(i)


def read_records(out, name):
    """A record file of the run folder as lists of fields."""
    try:
        with open(os.path.join(out, name), errors="replace") as f:
            return [line.rstrip("\n").split("\t") for line in f if line.strip()]
    except FileNotFoundError:
        return []


def board_events(out):
    """boardsim's events: (time 0 as 'YYYY-MM-DD HH:MM:SS.uuuuuu', [(us, kind, value)])."""
    zero, events = None, []
    for f in read_records(out, "events"):
        if len(f) == 3 and f[0].isdigit():
            if f[1] == "zero":
                zero = f[2]
            else:
                events.append((int(f[0]), f[1], f[2]))
    return zero, events


def since_zero_us(stamp, zero):
    """A record's HH:MM:SS.mmm as us since the board's time 0."""
    day = 86400 * 10**6

    def us(clock):
        h, m, s = clock.split(":")
        return round((int(h) * 3600 + int(m) * 60 + float(s)) * 10**6)
    t = (us(stamp) - us(zero.split()[1])) % day
    return 0 if t > day // 2 else t     # from before time 0: at 0, as the page has it
