// The last seconds of the board as a logic analyzer shows them: the pin
// (every chatter toggle), the latch, the four LEDs and the LED word, and a
// mark for each log line, signal, command and file written. Drawn into
// elements kept from frame to frame, once it has moved a pixel and at
// most ten times a second (25 for the short spans), so the page's main
// thread, and the CPU that paints it, stay free for the board's changes.
// New elements take the namespace of the page's own SVG markup.
const NS = document.querySelector('svg').namespaceURI;
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

// n elements of a kind in a group, reused from the last frame.
function pool(group, make, n) {
  while (group.childElementCount < n) group.append(make());
  while (group.childElementCount > n) group.lastElementChild.remove();
  return [...group.children];
}

export class Timeline {
  constructor(svg) {
    this.svg = svg;
    this.span = 30e6;
    this.drawn = { at: -Infinity, now: 0, width: 0 };
    const rows = [['pin', 'pin', v => v], ['latch', 'latch', v => v]];
    for (const bit of [3, 2, 1, 0]) rows.push([`LED ${1 << bit}`, 'led', v => ((v >>> bit) & 1 ? 0 : 1)]);
    let y = 8;
    this.rows = rows.map(([label, kind, level]) => {
      el('text', { x: 4, y: y + HIGH - 3, class: 'label' }, svg).textContent = label;
      const row = { kind, level, y, path: el('path', { class: `wave ${kind}` }, svg) };
      y += ROW;
      return row;
    });
    for (const label of ['LED word', 'log']) {
      el('text', { x: 4, y: y + HIGH - 3, class: 'label' }, svg).textContent = label;
      y += ROW;
    }
    this.busY = y - 2 * ROW;
    this.busPath = el('path', { class: 'bus' }, svg);
    this.busValues = el('g', {}, svg);
    this.markY = y - ROW;
    this.markLines = el('g', {}, svg);
    this.axisY = y + 4;
    this.axis = el('line', { y1: this.axisY, y2: this.axisY, class: 'axis' }, svg);
    this.ticks = el('g', {}, svg);
    svg.setAttribute('height', this.axisY + 18);
    this.reset([]);
  }

  reset(events) {
    this.changes = { pin: [[0, 1]], latch: [[0, 0]], led: [[0, 0xFFFFFFFF]] };
    this.marks = [];
    for (const e of events) this.event(e);
  }

  event([us, kind, value]) {
    const a = this.changes[kind];
    if (!a) return;
    const v = kind === 'led' ? parseInt(value, 16) >>> 0 : Number(value === 'high' || value === 'set');
    if (a[a.length - 1][1] === v) return;
    a.push([us, v]);
    while (a.length > 2 && a[1][0] < us - KEEP_US) a.shift();
    this.dirty = true;
  }

  record(r) {
    if (!MARKED.has(r.src)) return;
    let i = this.marks.length;
    while (i > 0 && this.marks[i - 1].t > r.t) i--;
    this.marks.splice(i, 0, r);
    while (this.marks.length && this.marks[0].t < r.t - KEEP_US) this.marks.shift();
    this.dirty = true;
  }

  draw(now) {
    const width = this.svg.clientWidth || 800, plot = width - LABEL - 10;
    const wall = performance.now();
    const moved = (now - this.drawn.now) * plot / this.span;
    const every = this.span >= 10e6 ? 100 : 40;
    if (wall - this.drawn.at < every || (moved < 1 && !this.dirty && width === this.drawn.width)) return;
    this.drawn = { at: wall, now, width };
    this.dirty = false;
    // Nothing before the board's time 0.
    const start = now - this.span, from = Math.max(0, start);
    const x = us => (LABEL + Math.max(0, Math.min(plot, ((us - start) / this.span) * plot))).toFixed(1);
    for (const row of this.rows)
      row.path.setAttribute('d', this.wave(this.changes[row.kind], row.level, from, now, x, row.y));
    this.bus(from, now, x);

    const shown = this.marks.filter(r => r.t >= from && r.t <= now);
    pool(this.markLines, () => el('line', {}), shown.length).forEach((line, i) => {
      const r = shown[i], at = x(r.t);
      line.setAttribute('x1', at);
      line.setAttribute('x2', at);
      line.setAttribute('y1', this.markY);
      line.setAttribute('y2', this.markY + HIGH + 2);
      const text = `${(r.t / 1e6).toFixed(3)} ${r.src} ${r.text}`;
      if (line.textContent === text) return;
      line.setAttribute('class', `mark ${r.src}${r.prio !== undefined ? ` p${r.prio}` : ''}`);
      line.replaceChildren(el('title', {}));
      line.firstChild.textContent = text;
    });

    this.axis.setAttribute('x1', LABEL);
    this.axis.setAttribute('x2', LABEL + plot);
    const step = this.span >= 20e6 ? 5e6 : this.span >= 5e6 ? 1e6 : this.span >= 1e6 ? 0.2e6 : 0.02e6;
    const times = [];
    for (let t = Math.ceil(from / step) * step; t <= now; t += step) times.push(t);
    pool(this.ticks, () => {
      const g = el('g', {});
      el('line', { y1: 4, y2: this.axisY, class: 'axis' }, g);
      el('text', { y: this.axisY + 13, class: 'tick' }, g);
      return g;
    }, times.length).forEach((g, i) => {
      const at = x(times[i]);
      g.firstChild.setAttribute('x1', at);
      g.firstChild.setAttribute('x2', at);
      g.lastChild.setAttribute('x', at);
      g.lastChild.textContent = `${(times[i] / 1e6).toFixed(step < 1e6 ? 2 : 0)} s`;
    });
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
  bus(start, now, x) {
    const y = this.busY, led = this.changes.led, labels = [];
    let i = Math.max(0, before(led, start)), from = start, d = '';
    const segment = (a, b, v) => {
      d += `M${x(a)} ${y}H${x(b)}M${x(a)} ${y + HIGH}H${x(b)}`;
      if (x(b) - x(a) > 16) labels.push([(Number(x(a)) + Number(x(b))) / 2, String(~v & 0xF)]);
    };
    for (let j = i + 1; j < led.length && led[j][0] <= now; j++) {
      const t = Number(x(led[j][0]));
      segment(from, led[j][0], led[j - 1][1]);
      d += `M${t - 2} ${y}L${t + 2} ${y + HIGH}M${t - 2} ${y + HIGH}L${t + 2} ${y}`;
      from = led[j][0];
      i = j;
    }
    segment(from, now, led[i][1]);
    this.busPath.setAttribute('d', d);
    pool(this.busValues, () => el('text', { class: 'busval' }), labels.length).forEach((text, k) => {
      text.setAttribute('x', labels[k][0]);
      text.setAttribute('y', y + HIGH / 2 + 4);
      text.textContent = labels[k][1];
    });
  }
}
