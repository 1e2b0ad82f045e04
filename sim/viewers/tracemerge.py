#!/usr/bin/python3
"""tracemerge BOARD-full.vcd RECORDS-DIR OUT.vcd

Adds the daemon's side, as the sandbox recorded it in RECORDS-DIR, to the
board's trace: lumend's selection state (high from SIGUSR1 to SIGUSR2), a
pulse per command an action ran or file it wrote, and, for GTKWave, the syslog lines and
the command lines as strings. Writes OUT.vcd with the single-bit wires
every viewer reads and OUT-full.vcd with everything."""

import sys
import vcdfile
from vcdfile import Var

PULSE_US = 50000
DAY_US = 86400 * 10**6


def day_us(clock):
    """'HH:MM:SS.fff...' as microseconds since midnight."""
    h, m, s = clock.split(":")
    return round((int(h) * 3600 + int(m) * 60 + float(s)) * 10**6)


def records(path, zero):
    """(time since zero, fields) of each line of a sandbox record."""
    try:
        with open(path, errors="replace") as f:
            lines = [line.rstrip("\n").split("\t") for line in f if "\t" in line]
    except FileNotFoundError:
        return []
    out = []
    for fields in lines:
        t = (day_us(fields[0]) - zero) % DAY_US
        out.append((0 if t > DAY_US // 2 else t, fields[1:]))    # before the board: at 0
    return out


def as_string(text):
    return "_".join(text.split()) or "-"


def main(board, records_dir, out):
    trace = vcdfile.read(board)
    if not trace.date:
        raise ValueError("no $date, so no time zero: not a trace of boardsim")
    zero = day_us(trace.date.split()[1])
    lumend = Var("sandbox", "wire", 1, "lumend", [(0, "0")])
    action = Var("sandbox", "wire", 1, "action", [(0, "0")])
    syslog = Var("sandbox", "string", 1, "syslog", [(0, "-")])
    command = Var("sandbox", "string", 1, "command", [(0, "-")])
    for t, (sig, *_) in records(f"{records_dir}/signals", zero):
        lumend.changes.append((t, "1" if sig == "SIGUSR1" else "0"))
    for t, fields in records(f"{records_dir}/syslog", zero):
        syslog.changes.append((t, as_string(fields[-1])))
    ran = records(f"{records_dir}/journal", zero)
    ran += [(t, ["wrote", path]) for t, (path, *_) in records(f"{records_dir}/files", zero)]
    for t, fields in sorted(ran):
        action.changes += [(t, "1"), (t + PULSE_US, "0")]
        command.changes.append((t, as_string(" ".join(fields))))
    trace.vars += [lumend, action, syslog, command]
    last = max(t for v in trace.vars for t, _ in v.changes)
    trace.end = max(trace.end, last + 500000)
    stem = out[:-4] if out.endswith(".vcd") else out
    vcdfile.write(stem + ".vcd", trace, lambda v: v.kind == "wire" and v.width == 1)
    vcdfile.write(stem + "-full.vcd", trace)


if __name__ == "__main__":
    vcdfile.guarded(main, sys.argv[1:], __doc__.splitlines()[0])
