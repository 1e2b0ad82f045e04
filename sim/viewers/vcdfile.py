"""Reads and writes the Value Change Dumps of the simulated board: the
subset boardsim writes (wires, buses, GTKWave strings), 1 us a tick."""

from dataclasses import dataclass, field


@dataclass
class Var:
    scope: str
    kind: str      # wire, string
    width: int
    name: str
    changes: list = field(default_factory=list)   # (time, value), value a str


@dataclass
class Trace:
    date: str = ""
    vars: list = field(default_factory=list)
    end: int = 0

    def var(self, name):
        for v in self.vars:
            if v.name == name:
                return v
        raise LookupError("no variable " + name)


def read(path):
    try:
        return parse(path)
    except StopIteration:
        raise ValueError("cut off inside a definition") from None


def declared(ids, ident):
    if ident not in ids:
        raise ValueError(f"a value for {ident!r}, which no $var declares")
    return ids[ident]


def parse(path):
    trace, ids, scope = Trace(), {}, ""
    with open(path) as f:
        words = iter(f.read().split())
    time = 0
    for w in words:
        if w in ("$date", "$version", "$timescale", "$upscope", "$enddefinitions",
                 "$comment"):
            text = []
            for x in words:
                if x == "$end":
                    break
                text.append(x)
            if w == "$date":
                trace.date = " ".join(text)
        elif w == "$scope":
            _, scope, _ = next(words), next(words), next(words)
        elif w == "$var":
            kind, width, ident, name = next(words), int(next(words)), next(words), next(words)
            while next(words) != "$end":
                pass
            ids[ident] = Var(scope, kind, width, name)
            trace.vars.append(ids[ident])
        elif w.startswith("#"):
            time = int(w[1:])
        elif w[0] in "bBsSrR":
            declared(ids, next(words)).changes.append((time, w[1:]))
        elif w[0] in "01xXzZ":
            declared(ids, w[1:]).changes.append((time, w[0]))
        trace.end = max(trace.end, time)
    return trace


def guarded(main, args, usage):
    """Runs main(*args) when they fit usage ("[X]" optional); a bad file
    ends the program with one line, not a trace-back."""
    words = usage.split()[1:]
    if not len([w for w in words if w[0] != "["]) <= len(args) <= len(words):
        raise SystemExit("usage: " + usage)
    try:
        main(*args)
    except (OSError, ValueError, LookupError) as e:
        raise SystemExit(f"{usage.split()[0]}: {args[0]}: {e}")


def value_text(var, value):
    return ("s" + value + " ") if var.kind == "string" else (
        "b" + value + " " if var.width > 1 else value)


def write(path, trace, keep=lambda v: True):
    """Writes the variables keep() accepts; each starts at time 0."""
    chosen = [v for v in trace.vars if keep(v)]
    ids = {id(v): chr(33 + i) for i, v in enumerate(chosen)}
    events = sorted(((t, i, v) for i, var in enumerate(chosen) for t, v in var.changes[1:]),
                    key=lambda e: e[0])
    with open(path, "w") as f:
        f.write(f"$date {trace.date} $end\n$version buttond sandbox $end\n$timescale 1 us $end\n")
        for scope in dict.fromkeys(v.scope for v in chosen):
            f.write(f"$scope module {scope} $end\n")
            for v in (v for v in chosen if v.scope == scope):
                bits = f" [{v.width - 1}:0]" if v.kind == "wire" and v.width > 1 else ""
                f.write(f"$var {v.kind} {v.width} {ids[id(v)]} {v.name}{bits} $end\n")
            f.write("$upscope $end\n")
        f.write("$enddefinitions $end\n#0\n$dumpvars\n")
        for v in chosen:
            f.write(value_text(v, v.changes[0][1]) + ids[id(v)] + "\n")
        f.write("$end\n")
        last = 0
        for t, i, value in events:
            if t != last:
                f.write(f"#{t}\n")
                last = t
            f.write(value_text(chosen[i], value) + ids[id(chosen[i])] + "\n")
        if trace.end > last:
            f.write(f"#{trace.end}\n")
