#!/usr/bin/python3
"""traceplot TRACE-full.vcd OUT.png [TITLE]

Draws a merged trace as a timing diagram: button pin, latch, the count the
LEDs show, lumend's selection state, and the log lines and commands, on one
axis of seconds."""

import sys
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
from matplotlib.ticker import MultipleLocator
import vcdfile

LOG_LEVELS = 5


def steps(var, end, value=int):
    xs = [t / 1e6 for t, _ in var.changes] + [end]
    ys = [value(v) for _, v in var.changes]
    return xs, ys + ys[-1:]


def wire(ax, var, end, label, high=None, low=None):
    xs, ys = steps(var, end)
    ax.fill_between(xs, ys, step="post", alpha=0.25)
    ax.step(xs, ys, where="post", lw=1.5)
    ax.set_ylim(-0.2, 1.4)
    ax.set_yticks([0, 1])
    ax.set_ylabel(label, rotation=0, ha="right", va="center")
    for x0, x1, y in zip(xs, xs[1:], ys):
        text = high if y == 1 else low
        if text and x1 - x0 >= 1:
            ax.text((x0 + x1) / 2, 0.5, text.format(x1 - x0), ha="center", va="center", fontsize=8)


def count(ax, var, end):
    xs, ys = steps(var, end, lambda v: int(v, 2))
    ax.fill_between(xs, ys, step="post", alpha=0.25, color="tab:green")
    ax.step(xs, ys, where="post", lw=1.5, color="tab:green")
    ax.set_ylim(-1, 19)
    ax.set_yticks([0, 15])
    ax.set_ylabel("LEDs\n(count)", rotation=0, ha="right", va="center")
    for x0, y in zip(xs, ys):
        if y:
            ax.text(x0, y + 0.8, str(y), fontsize=7, color="darkgreen")


def events(ax, trace):
    """Log lines and commands as labelled marks, staggered so they do not
    overlap; as GTKWave shows them, spaces as underscores."""
    marks = [(t, v, "black") for t, v in trace.var("syslog").changes[1:]]
    marks += [(t, v, "tab:red") for t, v in trace.var("command").changes[1:]]
    for i, (t, text, color) in enumerate(sorted(marks)):
        y = LOG_LEVELS - 1 - i % LOG_LEVELS
        ax.plot([t / 1e6] * 2, [-0.5, y], color=color, lw=0.8, alpha=0.6)
        ax.text(t / 1e6, y, " " + text, fontsize=8, va="center", color=color)
    ax.set_ylim(-0.7, LOG_LEVELS)
    ax.set_yticks([])
    ax.set_ylabel("log,\ncommands", rotation=0, ha="right", va="center")


def main(path, out, title="buttond on the simulated board"):
    trace = vcdfile.read(path)
    end = trace.end / 1e6
    fig, axes = plt.subplots(5, 1, sharex=True, figsize=(15, 8),
                             gridspec_kw={"height_ratios": [1, 1, 1.6, 1, 2.6]})
    wire(axes[0], trace.var("button_n"), end, "button pin\n(0 = down)", low="down {:.2f} s")
    wire(axes[1], trace.var("latch"), end, "latch")
    count(axes[2], trace.var("count"), end)
    wire(axes[3], trace.var("lumend"), end, "lumend", "selection")
    events(axes[4], trace)
    for ax in axes:
        ax.grid(axis="x", alpha=0.4)
        ax.spines[["top", "right"]].set_visible(False)
    axes[-1].set_xlim(0, end)
    axes[-1].xaxis.set_major_locator(MultipleLocator(1))
    axes[-1].xaxis.set_minor_locator(MultipleLocator(0.25))
    axes[-1].set_xlabel("seconds since the board started (" + trace.date + ")")
    axes[0].set_title(title)
    fig.tight_layout()
    fig.savefig(out, dpi=100)


if __name__ == "__main__":
    vcdfile.guarded(main, sys.argv[1:], __doc__.splitlines()[0])
