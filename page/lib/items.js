// The planner's constants and its rows: ids, time values, counts, normalisation, display order,
// content signatures, and the checks of a stored or imported state. Pure, as lib/dates.js.

const KEY = 'homework-planner-v5';
const MAXQ = 12;
const CIRC = ['①', '②', '③', '④', '⑤', '⑥', '⑦', '⑧', '⑨', '⑩', '⑪', '⑫'];
const AV = ['#ffd3e0', '#ffe0c2', '#fff3b0', '#d6f5e3', '#d9e7ff', '#e8dcff', '#ffd9d0', '#c9f0ef'];
const WAIT = { '待定': 1, '明天': 2, '改天': 3 };
const WICON = { '待定': '⏳', '明天': '🌙', '改天': '📅' };
const SLOTS_H0 = 5;
const SLOTS_H1 = 23;

const hasOwn = (o, k) => Object.prototype.hasOwnProperty.call(o, k);
const str = (v) => (v == null ? '' : String(v));

// millisecond are remembered so that a repeated draw is redrawn: the days carried to the next
// day are made in one loop, and two rows with one id would edit and delete each other.
let uidMs = -1;
let uidSeen = new Set();
function uid() {
  const ms = Date.now();
  if (ms !== uidMs) {
    uidMs = ms;
    uidSeen = new Set();
  }
  let id;
  do {
    let r = '';
    for (let i = 0; i < 4; i++) r += Math.floor(Math.random() * 36).toString(36);
    id = ms.toString(36) + r;
  } while (uidSeen.has(id));
  uidSeen.add(id);
  return id;
}

function isWait(t) {
  return hasOwn(WAIT, str(t));
}

function timeRank(t) {
  const s = str(t);
  if (/^\d{1,2}:\d{2}$/.test(s)) return 0;
  return hasOwn(WAIT, s) ? WAIT[s] : 9;
}

// Normalises a time value to HH:MM on the 10-minute grid, a wait mark, or "".
function snap(t) {
  if (t == null || t === '') return '';
  let s = String(t).trim();
  if (hasOwn(WAIT, s)) return s;
  const ti = s.indexOf('T');
  if (ti >= 0) s = s.slice(ti + 1);
  const m = /^(\d{1,2}):(\d{2})/.exec(s);
  if (!m) return '';
  let h = +m[1];
  let mm = Math.round(+m[2] / 10) * 10;
  if (mm === 60) {
    mm = 0;
    h = h === 23 ? 0 : h + 1;
  }
  return pad(h) + ':' + pad(mm);
}

// Number of exercise cells for a count as typed: its leading integer, 0 to MAXQ.
function qn(v) {
  const n = parseInt(str(v).replace(/[^0-9-]/g, ''), 10);
  if (!(n > 0)) return 0;
  return n > MAXQ ? MAXQ : n;
}

function colorOf(s) {
  const t = str(s);
  let h = 0;
  for (let i = 0; i < t.length; i++) h = (h * 31 + t.charCodeAt(i)) >>> 0;
  return AV[h % 8];
}

// A fresh item with exactly the eight members in their fixed order.
function norm(it) {
  const o = it !== null && typeof it === 'object' ? it : {};
  const text = (v) => (v == null || v === '' ? '' : String(v));
  return {
    id: o.id == null || o.id === '' ? uid() : String(o.id),
    name: text(o.name),
    count: o.count == null ? '' : String(o.count),
    time: snap(o.time),
    done: !!o.done,
    topics: Array.isArray(o.topics) ? o.topics.slice(0, MAXQ).map((x) => (x == null ? '' : String(x))) : [],
    next: text(o.next),
    note: text(o.note),
  };
}

// Display order: concrete times (earliest first), then 待定, 明天, 改天, then no time.
// Array sort is stable, so equal rows keep their stored order.
function sorted(list) {
  return list.slice().sort((a, b) => {
    const ra = timeRank(a.time);
    const rb = timeRank(b.time);
    if (ra !== rb) return ra - rb;
    if (ra !== 0 || a.time === b.time) return 0;
    return a.time < b.time ? -1 : 1;
  });
}

// Cuts every row's exercise texts to its count and fills gaps, in place (only the days `keys`
// when given).
function fitTopics(days, keys) {
  for (const k of keys || Object.keys(days)) {
    const list = days[k];
    if (!Array.isArray(list)) continue;
    for (const it of list) {
      if (!it || typeof it !== 'object') continue;
      let t = it.topics;
      if (!Array.isArray(t)) t = it.topics = [];
      const n = qn(it.count);
      if (t.length > n) t.length = n;
      for (let i = 0; i < t.length; i++) if (t[i] == null) t[i] = '';
    }
  }
}

// Content signature of each day: the compact JSON of its list.
function sigAll(st) {
  const out = {};
  const days = (st && st.days) || {};
  for (const k of Object.keys(days)) out[k] = JSON.stringify(Array.isArray(days[k]) ? days[k] : []);
  return out;
}

// The planner state made from a stored value (parsed JSON, or undefined when nothing was
// stored): the default state unless it is an object with days; missing parts filled in and
// every row normalised. Keeps the value's other members (rev, sync bookkeeping) as stored.
// A day holding anything but a list becomes an empty day, so the page always starts.
function fromStored(v, today) {
  const isObj = (x) => !!x && typeof x === 'object' && !Array.isArray(x);
  const st = isObj(v) && isObj(v.days) ? v : { days: {}, current: today, settings: { autoNext: true } };
  if (!isObj(st.settings)) st.settings = { autoNext: true };
  if (!isDayKey(st.current)) st.current = today;
  for (const k of Object.keys(st.days)) {
    const list = st.days[k];
    st.days[k] = Array.isArray(list) ? list.map(norm) : [];
  }
  if (!Array.isArray(st.days[st.current])) st.days[st.current] = [];
  return st;
}

// The planner state an imported file stands for, or null when it is not one. Only real
// YYYY-MM-DD keys are taken as days, so no key of the file can reach an object's prototype.
function parseImport(obj, today) {
  if (!obj || typeof obj !== 'object' || Array.isArray(obj)) return null;
  const src = obj.days;
  if (!src || typeof src !== 'object' || Array.isArray(src)) return null;
  const days = {};
  for (const k of Object.keys(src)) {
    if (!isDayKey(k)) continue;
    const v = src[k];
    if (v == null) days[k] = [];
    else if (Array.isArray(v)) days[k] = v.map(norm);
    else return null;
  }
  const keys = Object.keys(days).sort();
  const current = hasOwn(days, obj.current) ? obj.current : keys.length ? keys[0] : today;
  const s = obj.settings;
  const settings = s && typeof s === 'object' && !Array.isArray(s) ? s : { autoNext: true };
  if (!days[current]) days[current] = [];
  return { days, current, settings };
}

// @node-only
import { pad, isDayKey } from './dates.js';
export {
  KEY, MAXQ, CIRC, AV, WAIT, WICON, SLOTS_H0, SLOTS_H1, hasOwn, str,
  uid, isWait, timeRank, snap, qn, colorOf, norm, sorted, fitTopics, sigAll, fromStored, parseImport,
};
