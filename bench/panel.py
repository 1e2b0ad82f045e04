"""panel.py URL OUT: the board panel's latency in headless Chromium, as
KEY=VALUE lines in OUT/results (min / median / max, in ms, and how many;
each sample in OUT/samples):
  led_dom      an LED word's change on the board (boardsim's events) to
               the page applying it
  led_frame    the same to the first animation frame after it
  down_pin     the browser's pointerdown on the button to the pin low
Selections of five presses are made with the mouse, watching the LEDs on
the page, then taps at random moments, until each figure has 50 or more.
The page's and boardsim's times are both the wall clock: boardsim's from
its time 0 on, the page's from its time origin on."""

import os
import random
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "panel"))
import rig  # noqa: E402

WANT = 50


def stats(values):
    v = sorted(values)
    return f"{v[0]:.1f} / {v[(len(v) - 1) // 2]:.1f} / {v[-1]:.1f}"


def main(url, out):
    b = rig.Browser()
    try:
        b.open(url)
        hand = b.mouse()
        trace = lambda: b.driver.execute_script("return window.panelTrace")  # noqa: E731
        selections = 0
        while len(trace()["leds"]) < WANT + 10:
            selections += 1
            print(f"bench: selection {selections}", file=sys.stderr)
            b.hold_blink(hand)
            b.wait_dark()
            b.count_to(5, [hand])
            rig.wait_until("the selection's end", lambda: len(b.shown("lumend")) >= 3 * selections, 60)
            b.wait_dark()
        while len(trace()["downs"]) < WANT + 10:
            time.sleep(random.uniform(0.3, 0.8))
            b.tap(hand)
        rig.wait_until("the last tap on the board", lambda: b.board()["finger"] == "up", 10)
        page = trace()
    finally:
        b.quit()

    zero, events = rig.board_events(out)
    zero_ms = page["zeroMs"]
    at = lambda us: zero_ms + us / 1000  # noqa: E731
    led_dom = [ms - at(us) for us, ms in page["leds"]]
    led_frame = [ms - at(us) for us, ms in page["frames"]]
    lows = [at(us) for us, kind, v in events if kind == "pin" and v == "low"]
    down_pin = []
    for down in page["downs"]:
        later = [t for t in lows if t >= down - 5]
        if later and later[0] - down < 1000:
            down_pin.append(later[0] - down)
    with open(os.path.join(out, "results"), "w") as f, open(os.path.join(out, "samples"), "w") as each:
        for name, values in (("led_dom", led_dom), ("led_frame", led_frame), ("down_pin", down_pin)):
            f.write(f"{name}_ms={stats(values)}\n{name}_samples={len(values)}\n")
            each.writelines(f"{name}\t{v:.2f}\n" for v in values)
            print(f"  {name}: {stats(values)} ms of {len(values)}", file=sys.stderr)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit("usage: panel.py URL OUT")
    main(*sys.argv[1:])
