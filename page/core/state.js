// The planner state in memory and its storage: load, save with the save hook, setState.
//
// The state in memory is the truth at once; every save queues one transaction of the per-day
// store (core/store.js) with only the records that changed, and transactions commit in the order
// they were made. Where IndexedDB cannot be opened the page keeps the local storage layout of
// older pages: the whole state under KEY and the text before the latest save under KEY + "-prev".

const PREV_KEY = KEY + '-prev';
const OLD_KEYS = ['homework-planner-v4', 'homework-planner-v3'];
const SAVE_FAIL = '保存失败，请导出备份';
const SAVE_FAIL_EVERY_MS = 60000;
const NO_IDB = '本机数据库（IndexedDB）打不开，数据改存在 local storage';
const PREV_QUIET_MS = 10 * 60000;
const isObj = (x) => !!x && typeof x === 'object' && !Array.isArray(x);

let state = null;
let loaded = false;
let db = null; // the open store; null: the local storage layout
let saveFailShownAt = -Infinity;
const known = new Map(); // day key -> JSON text of its list as last saved
const lastChange = new Map(); // day key -> time of its latest content change in this page
const written = new Map(); // day key -> JSON text of its record as last queued
let metaText = '';
const dirty = new Set(); // days whose records the next flush looks at
const prevPending = new Map(); // day key -> recovery copy to write with the next flush
let flushQueued = false;
let writes = Promise.resolve(); // settles when every queued write has
const tabId = Math.random().toString(36).slice(2);
let channel = null;

function readLocal() {
  for (const k of [KEY].concat(OLD_KEYS)) {
    let text = null;
    try {
      text = localStorage.getItem(k);
    } catch (e) {
      continue;
    }
    if (!text) continue;
    try {
      return JSON.parse(text);
    } catch (e) {
      // an unreadable value: try the next older key
    }
  }
  return undefined;
}

// The state from the store's records: the meta record's members in their order, each day's list
// and its bookkeeping put back where the state keeps them.
function fromRecords(got) {
  metaText = JSON.stringify(got.meta);
  const rest = isObj(got.meta.rest) ? got.meta.rest : {};
  const order = Array.isArray(got.meta.order) ? got.meta.order : Object.keys(rest).concat('days');
  const st = {};
  const days = {};
  for (const k of order) st[k] = k === 'days' ? days : rest[k];
  if (!order.includes('days')) st.days = days;
  for (const [k, rec] of got.days) {
    if (!rec || typeof rec.list !== 'string') continue;
    let list = [];
    try {
      list = JSON.parse(rec.list);
    } catch (e) {
      list = [];
    }
    days[k] = list;
    known.set(k, rec.list);
    written.set(k, JSON.stringify(rec));
    if (hasOwn(rec, 'rev')) (isObj(st.rev) ? st.rev : (st.rev = {}))[k] = rec.rev;
    if (hasOwn(rec, 'srvRev') || hasOwn(rec, 'base')) {
      if (!isObj(st.srv)) st.srv = {};
      if (hasOwn(rec, 'srvRev')) (isObj(st.srv.rev) ? st.srv.rev : (st.srv.rev = {}))[k] = rec.srvRev;
      if (hasOwn(rec, 'base')) (isObj(st.srv.base) ? st.srv.base : (st.srv.base = {}))[k] = rec.base;
    }
  }
  return st;
}

// Loads the state: from the store, or on the first start of this page from local storage (the
// old key is only read). Resolves to true when the store has to be written from the state.
function load() {
  const fromLocal = () => {
    state = fromStored(readLocal(), todayStr());
    fitTopics(state.days);
    return true;
  };
  let opened;
  try {
    opened = openStore();
  } catch (e) {
    opened = Promise.reject(e);
  }
  return opened
    .then((d) => {
      db = d;
      return readStore(db);
    })
    .then(
      (got) => {
        if (!got.meta) return fromLocal();
        state = fromStored(fromRecords(got), todayStr());
        fitTopics(state.days);
        return false;
      },
      (e) => {
        db = null;
        console.warn(NO_IDB, e);
        return fromLocal();
      },
    )
    .then((r) => {
      loaded = true;
      if (db && typeof BroadcastChannel === 'function') {
        channel = new BroadcastChannel('vellora-days');
        channel.onmessage = (e) => takeOtherTab(e.data);
      }
      return r;
    });
}

function dayList() {
  const list = state.days[state.current];
  return Array.isArray(list) ? list : [];
}

function setDay(list) {
  state.days[state.current] = list;
}

function find(id) {
  return dayList().find((it) => it.id === id);
}

function autoOn() {
  return !!state.settings && state.settings.autoNext !== false;
}

// Raises a day's revision time to at least t.
function bumpRev(day, t) {
  if (!state.rev || typeof state.rev !== 'object') state.rev = {};
  state.rev[day] = Math.max(state.rev[day] || 0, t);
}

// ---------------------------------------------------------------- records

function dayRecord(k) {
  const r = { list: known.get(k) };
  if (isObj(state.rev) && hasOwn(state.rev, k)) r.rev = state.rev[k];
  const srv = state.srv;
  if (isObj(srv) && isObj(srv.rev) && hasOwn(srv.rev, k)) r.srvRev = srv.rev[k];
  if (isObj(srv) && isObj(srv.base) && hasOwn(srv.base, k)) r.base = srv.base[k];
  return r;
}

// The members of a day-keyed map that belong to no day of the state.
function withoutDays(map) {
  const out = {};
  for (const k of Object.keys(map)) if (!hasOwn(state.days, k)) out[k] = map[k];
  return out;
}

function metaRecord() {
  const rest = {};
  for (const m of Object.keys(state)) if (m !== 'days') rest[m] = state[m];
  if (isObj(rest.rev)) rest.rev = withoutDays(rest.rev);
  if (isObj(rest.srv)) {
    const s = Object.assign({}, rest.srv);
    if (isObj(s.rev)) s.rev = withoutDays(s.rev);
    if (isObj(s.base)) s.base = withoutDays(s.base);
    rest.srv = s;
  }
  return { order: Object.keys(state), rest };
}

// ---------------------------------------------------------------- saving

function saveFailed(e) {
  console.warn(SAVE_FAIL, e);
  const now = Date.now();
  if (now - saveFailShownAt >= SAVE_FAIL_EVERY_MS) {
    saveFailShownAt = now;
    // after the change's own messages, so that this one is the one left on screen
    Promise.resolve().then(() => toast(SAVE_FAIL));
  }
}

function writeLocal() {
  try {
    const json = JSON.stringify(state);
    let old = null;
    try {
      old = localStorage.getItem(KEY);
    } catch (e) {
      old = null;
    }
    if (json === old) return Promise.resolve();
    try {
      if (old && old.length > 20) localStorage.setItem(PREV_KEY, old);
    } catch (e) {
      // the recovery copy is a courtesy; its failure never stops the save
    }
    try {
      localStorage.setItem(KEY, json);
    } catch (e) {
      // The recovery copy may hold the room the state needs. The failed write left the stored
      // state as it was, which is what the copy holds, so dropping it loses nothing.
      localStorage.removeItem(PREV_KEY);
      localStorage.setItem(KEY, json);
    }
    return Promise.resolve();
  } catch (e) {
    return Promise.reject(e);
  }
}

// Writes what changed since the last flush in one transaction. Runs as a microtask after the
// save, so that what the save hook adds (revisions) goes out with the same write.
function flush() {
  flushQueued = false;
  if (!loaded) return;
  const puts = [];
  const dels = [];
  for (const k of dirty) {
    if (!hasOwn(state.days, k)) {
      if (written.has(k)) dels.push(k);
      continue;
    }
    const rec = dayRecord(k);
    const t = JSON.stringify(rec);
    if (written.get(k) !== t) puts.push([k, rec, t]);
  }
  dirty.clear();
  const meta = metaRecord();
  const mt = JSON.stringify(meta);
  const putMeta = mt !== metaText;
  const prevs = [...prevPending];
  prevPending.clear();
  if (!puts.length && !dels.length && !putMeta && !prevs.length) return;
  for (const [k, , t] of puts) written.set(k, t);
  for (const k of dels) written.delete(k);
  if (putMeta) metaText = mt;
  const done = db
    ? inTx(db, ['days', 'prev', 'meta'], 'readwrite', (s) => {
      for (const [k, rec] of puts) s.days.put(rec, k);
      for (const k of dels) s.days.delete(k);
      for (const [k, p] of prevs) s.prev.put(p, k);
      if (putMeta) s.meta.put(meta, 'state');
    })
    : writeLocal();
  const p = done.then(
    () => {
      if (channel && puts.length) {
        const days = {};
        for (const [k, rec] of puts) days[k] = rec;
        try {
          channel.postMessage({ from: tabId, days });
        } catch (e) {
          // the other tabs see it at their next load
        }
      }
    },
    (e) => {
      // everything stays in memory; the next save writes these records again
      for (const [k] of puts) {
        written.delete(k);
        dirty.add(k);
      }
      for (const k of dels) {
        written.set(k, '');
        dirty.add(k);
      }
      if (putMeta) metaText = '';
      for (const [k, v] of prevs) if (!prevPending.has(k)) prevPending.set(k, v);
      saveFailed(e);
    },
  );
  writes = writes.then(() => p);
}

// Records what a save changed and queues its write. `keys`: the days that may have changed, or
// null for any day. Gives the days whose list content changed (new days included).
function persist(keys, texts) {
  const all = !keys;
  const list = all ? Object.keys(state.days) : keys.filter((k) => hasOwn(state.days, k));
  fitTopics(state.days, list);
  const changed = [];
  const now = Date.now();
  for (const k of list) {
    const v = state.days[k];
    const text = texts && hasOwn(texts, k) ? texts[k] : JSON.stringify(Array.isArray(v) ? v : []);
    const old = known.get(k);
    if (old !== text) {
      // a run of changes begins: the day as it was before it is the recovery copy
      if (old !== undefined && (all || !(now - (lastChange.get(k) || -Infinity) < PREV_QUIET_MS))) prevPending.set(k, { list: old, at: now });
      known.set(k, text);
      lastChange.set(k, now);
      changed.push(k);
    }
    dirty.add(k);
  }
  if (all) {
    for (const k of [...known.keys()]) {
      if (hasOwn(state.days, k)) continue;
      // a day the state no longer holds: its last version stays as its recovery copy
      prevPending.set(k, { list: known.get(k), at: now });
      known.delete(k);
      dirty.add(k);
    }
  }
  if (!flushQueued) {
    flushQueued = true;
    Promise.resolve().then(flush);
  }
  return changed;
}

function callHook(changed) {
  if (typeof window.__vlOnSave !== 'function') return;
  try {
    window.__vlOnSave(state, changed);
  } catch (e) {
    // the hook's failures are its own
  }
}

// The save of window.__vl: `days`, when given, names the only days that may have changed.
function save(days) {
  callHook(persist(Array.isArray(days) ? days.map(String) : null));
}

// The save of the core's own changes, which know the days they touched.
function saveDays(...days) {
  callHook(persist(days));
}

function setState(s) {
  state = s && typeof s === 'object' ? s : {};
  if (!state.days || typeof state.days !== 'object') state.days = {};
  if (!state.current) state.current = todayStr();
  if (!state.settings || typeof state.settings !== 'object') state.settings = { autoNext: true };
  if (!state.rev || typeof state.rev !== 'object') state.rev = {};
  if (!Array.isArray(state.days[state.current])) state.days[state.current] = [];
}

// ---------------------------------------------------------------- other tabs

let otherTabRender = false;

const editing = () => {
  const a = document.activeElement;
  return !!a && (a.tagName === 'INPUT' || a.tagName === 'TEXTAREA' || a.isContentEditable) && a.closest('#lists, #zoom') !== null;
};

// A day saved by another page of the planner on this origin. A day with a write of its own still
// queued keeps its own version: that write commits later and reaches the other page in turn.
function takeOtherTab(msg) {
  if (!msg || msg.from === tabId || !isObj(msg.days)) return;
  let shown = false;
  for (const k of Object.keys(msg.days)) {
    const rec = msg.days[k];
    if (!isDayKey(k) || !rec || typeof rec.list !== 'string' || dirty.has(k) || known.get(k) === rec.list && written.get(k) === JSON.stringify(rec)) continue;
    let list;
    try {
      list = JSON.parse(rec.list);
    } catch (e) {
      continue;
    }
    state.days[k] = Array.isArray(list) ? list.map(norm) : [];
    known.set(k, rec.list);
    written.set(k, JSON.stringify(rec));
    if (hasOwn(rec, 'rev')) bumpRev(k, rec.rev);
    if (isObj(window.__vlSig)) window.__vlSig[k] = rec.list;
    if (k === state.current) shown = true;
  }
  if (shown) renderWhenFree();
}

// Redraws now, or once no row field has the focus, so that typing is never overwritten.
function renderWhenFree() {
  if (!editing()) {
    render();
    return;
  }
  if (otherTabRender) return;
  otherTabRender = true;
  document.addEventListener('focusout', function later() {
    setTimeout(() => {
      if (editing()) return;
      document.removeEventListener('focusout', later);
      otherTabRender = false;
      render();
    }, 0);
  });
}
