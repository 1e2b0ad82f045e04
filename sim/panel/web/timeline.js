// The last seconds of the board as a logic analyzer shows them: the pin
// (every chatter toggle), the latch, the four LEDs and the LED word, and a
// mark for each log line, signal, command and file written.
const NS = 'http://www.w3.org/2000/svg';
const KEEP_US = 120e6;
const LABEL = 78, ROW = 24, HIGH = 15;
const MARKED = new Set(['syslog', 'lumend', 'command', 'file', 'rig']);

function el(name, attrs, parent) {
  const e = document.createElementNS(NS, name);
  for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, v);
  if (parent) parent.append(e);
  return e;
}

// The last change at or before t in a time-ordered [[us, value]...], by index.
function before(changes, t) {
  let lo = 0, hi = changes.length - 1, found = -1;
  while (lo <= hi) {
    const mid = (lo + hi) >> 1;
    if (changes[mid][0] <= t) { found = mid; lo = mid + 1; } else hi = mid - 1;
  }
  return found;
}

export class Timeline {
  constructor(svg) {
    this.svg = svg;
    this.span = 30e6;
    this.reset([]);
  }

  reset(events) {
    this.pin = [[0, 1]];
    this.latch = [[0, 0]];
    this.led = [[0, 0xFFFFFFFF]];
    this.marks = [];
    for (const e of events) this.event(e);
  }

  event([us, kind, value]) {
    const into = (a, v) => {
      a.push([us, v]);
      while (a.length > 2 && a[1][0] < us - KEEP_US) a.shift();
    };
    if (kind === 'pin') into(this.pin, value === 'high' ? 1 : 0);
    else if (kind === 'latch') into(this.latch, value === 'set' ? 1 : 0);
    else if (kind === 'led') into(this.led, parseInt(value, 16) >>> 0);
  }

  record(r) {
    if (!MARKED.has(r.src)) return;
    let i = this.marks.length;
    while (i > 0 && this.marks[i - 1].t > r.t) i--;
    this.marks.splice(i, 0, r);
    while (this.marks.length && this.marks[0].t < r.t - KEEP_US) this.marks.shift();
  }

  draw(now) {
    // Nothing before the board's time 0.
    const svg = this.svg, width = svg.clientWidth || 800, from = Math.max(0, now - this.span);
    const start = now - this.span;
    const plot = width - LABEL - 10;
    const x = us => LABEL + Math.max(0, Math.min(plot, ((us - start) / this.span) * plot));
    const g = el('g', {});
    const rows = [['pin', this.pin, v => v, 'pin'], ['latch', this.latch, v => v, 'latch']];
    for (const bit of [3, 2, 1, 0])
      rows.push([`LED ${1 << bit}`, this.led, v => ((v >>> bit) & 1 ? 0 : 1), 'led']);
    let y = 8;
    for (const [label, changes, level, cls] of rows) {
      el('text', { x: 4, y: y + HIGH - 3, class: 'label' }, g).textContent = label;
      el('path', { d: this.wave(changes, level, from, now, x, y), class: `wave ${cls}` }, g);
      y += ROW;
    }
    el('text', { x: 4, y: y + HIGH - 3, class: 'label' }, g).textContent = 'LED word';
    this.bus(g, from, now, x, y);
    y += ROW;
    el('text', { x: 4, y: y + HIGH - 3, class: 'label' }, g).textContent = 'log';
    for (const r of this.marks) {
      if (r.t < start || r.t > now) continue;
      const line = el('line', { x1: x(r.t), x2: x(r.t), y1: y, y2: y + HIGH + 2,
        class: `mark ${r.src}${r.prio !== undefined ? ` p${r.prio}` : ''}` }, g);
      el('title', {}, line).textContent = `${(r.t / 1e6).toFixed(3)} ${r.src} ${r.text}`;
    }
    y += ROW + 4;
    el('line', { x1: LABEL, x2: LABEL + plot, y1: y, y2: y, class: 'axis' }, g);
    const step = this.span >= 20e6 ? 5e6 : this.span >= 5e6 ? 1e6 : this.span >= 1e6 ? 0.2e6 : 0.02e6;
    for (let t = Math.ceil(start / step) * step; t <= now; t += step) {
      if (t < 0) continue;
      el('line', { x1: x(t), x2: x(t), y1: 4, y2: y, class: 'axis' }, g);
      el('text', { x: x(t), y: y + 13, class: 'tick' }, g).textContent =
        `${(t / 1e6).toFixed(step < 1e6 ? 2 : 0)} s`;
    }
    svg.setAttribute('height', y + 18);
    svg.replaceChildren(g);
  }

  // A wire's level from start to now as one path: each change a step.
  wave(changes, level, start, now, x, y) {
    const at = v => (level(v) ? y : y + HIGH);
    let i = Math.max(0, before(changes, start));
    let d = `M${x(start)} ${at(changes[i][1])}`;
    for (i++; i < changes.length && changes[i][0] <= now; i++) d += `H${x(changes[i][0])}V${at(changes[i][1])}`;
    return `${d}H${x(now)}`;
  }

  // The LED word as a bus: a crossing at each change, the count between.
  bus(g, start, now, x, y) {
    const mid = y + HIGH / 2;
    let i = Math.max(0, before(this.led, start)), from = start, d = '';
    const segment = (a, b, v) => {
      d += `M${x(a)} ${y}H${x(b)}M${x(a)} ${y + HIGH}H${x(b)}`;
      if (x(b) - x(a) > 16)
        el('text', { x: (x(a) + x(b)) / 2, y: mid + 4, class: 'busval' }, g).textContent = String(~v & 0xF);
    };
    for (let j = i + 1; j < this.led.length && this.led[j][0] <= now; j++) {
      const t = this.led[j][0];
      segment(from, t, this.led[j - 1][1]);
      d += `M${x(t) - 2} ${y}L${x(t) + 2} ${y + HIGH}M${x(t) - 2} ${y + HIGH}L${x(t) + 2} ${y}`;
      from = t;
      i = j;
    }
    segment(from, now, this.led[i][1]);
    el('path', { d, class: 'bus' }, g);
  }
}
