// The board panel: the board's front, the records and the timeline, fed by
// the server's WebSocket; the push-button held as a person holds it.
import { Timeline } from './timeline.js';

const $ = id => document.getElementById(id);
const board = $('board'), push = $('push'), list = $('list');
const timeline = new Timeline($('timeline'));

// When the page saw what, on the wall clock, for bench/panel: each LED
// word applied and the frame that shows it first [board us, ms], each
// pointerdown [ms]; zeroMs is the board's time 0.
const trace = { zeroMs: null, leds: [], frames: [], downs: [] };
window.panelTrace = trace;
const keep = (a, x) => { a.push(x); if (a.length > 1000) a.shift(); };
const wallMs = () => performance.timeOrigin + performance.now();

let zeroMs = null;
let state = { led: 'FFFFFFFF', pin: 'high', latch: 'clear', finger: 'up' };
let downUs = null;
const boardUs = () => (zeroMs === null ? 0 : (wallMs() - zeroMs) * 1000);

// The connection: reconnects for as long as the page is open, and every
// (re)connection starts with the board's state and its recent records.
let socket = null, tries = 0, leaving = false;
function connect() {
  const ws = new WebSocket(`${location.protocol === 'https:' ? 'wss' : 'ws'}://${location.host}/ws`);
  socket = ws;
  ws.onopen = () => { tries = 0; link('live', 'live'); };
  ws.onmessage = e => receive(JSON.parse(e.data));
  ws.onclose = e => {
    if (socket !== ws) return;
    socket = null;
    // The server let go of whatever this page held when the line dropped.
    holds.clear();
    showHeld();
    if (leaving) return;
    link('reconnecting', e.code === 1001 ? 'the panel stopped; reconnecting…' : 'reconnecting…');
    setTimeout(connect, Math.min(2000, 200 * 2 ** tries++));
  };
}
function send(msg) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(msg));
}
function link(name, text) {
  const l = $('link');
  l.dataset.link = name;
  l.textContent = text;
}

function receive(m) {
  switch (m.t) {
  case 'hello':
    zeroMs = trace.zeroMs = m.zeroMs;
    state = { ...m.board };
    downUs = null;
    for (const [us, kind, value] of m.events) if (kind === 'finger') downUs = value === 'down' ? us : null;
    list.replaceChildren();
    timeline.reset(m.events);
    for (const r of m.records) addRecord(r);
    showBoard();
    break;
  case 'ev': {
    const [us, kind, value] = m.e;
    state[kind] = value;
    if (kind === 'finger') downUs = value === 'down' ? us : null;
    timeline.event(m.e);
    showBoard();
    if (kind === 'led') {
      keep(trace.leds, [us, wallMs()]);
      requestAnimationFrame(() => keep(trace.frames, [us, wallMs()]));
    }
    break;
  }
  case 'rec':
    addRecord(m.r);
    if (m.r.heldUs !== undefined) $('press').textContent = `last held ${(m.r.heldUs / 1e6).toFixed(3)} s`;
    break;
  case 'said':
    note(`played: ${m.text}`);
    break;
  case 'refused':
    note(`refused: ${m.why}`, true);
    break;
  }
}

function showBoard() {
  const word = parseInt(state.led, 16) >>> 0;
  for (const led of document.querySelectorAll('.led'))
    led.classList.toggle('lit', !((word >>> Number(led.dataset.bit)) & 1));
  const count = ~word & 0xF;
  Object.assign(board.dataset, { led: state.led, count, pin: state.pin, latch: state.latch, finger: state.finger });
  push.setAttribute('aria-pressed', state.finger === 'down');
  $('count').textContent = count;
  $('ledword').textContent = state.led;
  $('pin').textContent = state.pin === 'low' ? 'low (closed)' : 'high (open)';
  $('latch').textContent = state.latch;
}

// One time-ordered list on the board's clock; lines mostly come in order,
// so a new one is placed by looking back from the end.
const seconds = us => (us / 1e6).toFixed(3).padStart(9);
function addRecord(r) {
  const li = document.createElement('li');
  li.dataset.src = r.src;
  li.dataset.t = r.t;
  if (r.prio !== undefined) li.dataset.prio = r.prio;
  if (r.count !== undefined) li.dataset.count = r.count;
  const time = document.createElement('time'), src = document.createElement('span'),
    what = document.createElement('span');
  time.textContent = seconds(r.t);
  src.className = 'src';
  src.textContent = r.src;
  what.className = 'what';
  what.textContent = r.text;
  li.append(time, src, what);
  const atEnd = list.scrollTop + list.clientHeight >= list.scrollHeight - 30;
  let after = list.lastElementChild;
  while (after && Number(after.dataset.t) > r.t) after = after.previousElementSibling;
  if (after) after.after(li); else list.prepend(li);
  while (list.childElementCount > 1000) list.firstElementChild.remove();
  if (atEnd) list.scrollTop = list.scrollHeight;
  timeline.record(r);
}
$('boardLines').addEventListener('change', e => list.classList.toggle('quiet', !e.target.checked));

function note(text, bad = false) {
  const n = $('note');
  n.textContent = text;
  n.classList.toggle('bad', bad);
}

// The button is held while any pointer or key holds it here; the server
// hears only the first press and the last release.
const holds = new Set();
function hold(id) {
  if (holds.has(id)) return;
  holds.add(id);
  if (holds.size === 1) send({ t: 'down' });
  showHeld();
}
function letGo(id) {
  if (!holds.delete(id)) return false;
  if (holds.size === 0) send({ t: 'up' });
  showHeld();
  return true;
}
function letGoAll() {
  if (holds.size === 0) return;
  holds.clear();
  send({ t: 'up' });
  showHeld();
}
function showHeld() { push.classList.toggle('held', holds.size > 0); }

// Mouse, touch and pen: captured, so the button stays held wherever the
// pointer goes until it is lifted, cancelled or the capture is lost.
push.addEventListener('pointerdown', e => {
  if (e.pointerType === 'mouse' && e.button !== 0) return;
  e.preventDefault();
  keep(trace.downs, performance.timeOrigin + e.timeStamp);
  push.setPointerCapture(e.pointerId);
  hold(`pointer ${e.pointerId}`);
});
for (const type of ['pointerup', 'pointercancel', 'lostpointercapture'])
  push.addEventListener(type, e => letGo(`pointer ${e.pointerId}`));
push.addEventListener('contextmenu', e => e.preventDefault());

// Space or Enter, anywhere but in a control of its own; the keyboard's
// auto-repeat while held is no new press.
const keyOf = e => (e.code === 'Space' || e.key === ' ' ? 'Space'
  : e.code === 'Enter' || e.code === 'NumpadEnter' || e.key === 'Enter' ? 'Enter' : null);
const inControl = t => t instanceof Element && t.closest('input, textarea, select, button, a');
document.addEventListener('keydown', e => {
  const key = keyOf(e);
  if (!key || inControl(e.target) || e.altKey || e.ctrlKey || e.metaKey) return;
  e.preventDefault();
  if (!e.repeat) hold(`key ${key}`);
});
document.addEventListener('keyup', e => {
  const key = keyOf(e);
  if (key && letGo(`key ${key}`)) e.preventDefault();
});

// A page that loses the focus, is hidden or goes away lets go.
window.addEventListener('blur', letGoAll);
document.addEventListener('visibilitychange', () => { if (document.hidden) letGoAll(); });
window.addEventListener('pagehide', () => {
  letGoAll();
  leaving = true;
  if (socket) socket.close();
});

$('words').addEventListener('submit', e => {
  e.preventDefault();
  const input = $('wordsText');
  const text = input.value.trim();
  if (!text) return;
  if (!socket || socket.readyState !== WebSocket.OPEN) return note('not connected', true);
  send({ t: 'words', text });
  input.value = '';
});

// The timeline follows the board's clock, and a held press its length.
let paused = false;
$('pause').addEventListener('click', e => {
  paused = !paused;
  e.target.setAttribute('aria-pressed', paused);
  e.target.textContent = paused ? 'resume' : 'pause';
});
$('span').addEventListener('change', e => { timeline.span = Number(e.target.value); });
function frame() {
  const now = boardUs();
  if (!paused) timeline.draw(now);
  if (state.finger === 'down' && downUs !== null) {
    const held = `held ${((now - downUs) / 1e6).toFixed(1)} s`;
    if ($('press').textContent !== held) $('press').textContent = held;
  }
  requestAnimationFrame(frame);
}

connect();
requestAnimationFrame(frame);
