// The planner state in memory and its storage: load, save with the save hook, setState.

const PREV_KEY = KEY + '-prev';
const OLD_KEYS = ['homework-planner-v4', 'homework-planner-v3'];
const SAVE_FAIL = '保存失败，请导出备份';
const SAVE_FAIL_EVERY_MS = 60000;

let state = null;
let saveFailShownAt = -Infinity;
let dayCache = new Map(); // day key -> the list last serialised and its JSON text

function readStored() {
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

function load() {
  state = fromStored(readStored(), todayStr());
  fitTopics(state.days); // as every save does, so that the first signatures match what is stored
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

// Writes the state; `fresh` names the days changed since the last save (null: any may have).
// The text written is always that of the whole state; only its serialisation is shortened.
function persist(fresh) {
  try {
    fitTopics(state.days, fresh && [...fresh]);
    const json = stateText(state, dayCache, fresh);
    let old = null;
    try {
      old = localStorage.getItem(KEY);
    } catch (e) {
      old = null;
    }
    if (json !== old) {
      try {
        if (old && old.length > 20) localStorage.setItem(PREV_KEY, old);
      } catch (e) {
        // the recovery copy is a courtesy; its failure never stops the save
      }
      try {
        localStorage.setItem(KEY, json);
      } catch (e) {
        // The recovery copy may hold the room the state needs. The failed write left the
        // stored state as it was, which is what the copy holds, so dropping it loses nothing.
        localStorage.removeItem(PREV_KEY);
        localStorage.setItem(KEY, json);
      }
    }
  } catch (e) {
    dayCache = new Map();
    console.warn(SAVE_FAIL, e);
    const now = Date.now();
    if (now - saveFailShownAt >= SAVE_FAIL_EVERY_MS) {
      saveFailShownAt = now;
      // after the change's own messages, so that this one is the one left on screen
      Promise.resolve().then(() => toast(SAVE_FAIL));
    }
  }
  if (typeof window.__vlOnSave === 'function') {
    try {
      window.__vlOnSave(state);
    } catch (e) {
      // the hook's failures are its own
    }
  }
}

// The save of window.__vl and of every change that may touch any day.
function save() {
  dayCache = new Map();
  persist(null);
}

// The save of the core's own changes, which know the days they touched. A day whose list was
// replaced is serialised anew anyway; a caller that changes lists in place outside the core
// saves through window.__vl.save.
function saveDays(...days) {
  persist(new Set(days));
}

function setState(s) {
  dayCache = new Map();
  state = s && typeof s === 'object' ? s : {};
  if (!state.days || typeof state.days !== 'object') state.days = {};
  if (!state.current) state.current = todayStr();
  if (!state.settings || typeof state.settings !== 'object') state.settings = { autoNext: true };
  if (!state.rev || typeof state.rev !== 'object') state.rev = {};
  if (!Array.isArray(state.days[state.current])) state.days[state.current] = [];
}
