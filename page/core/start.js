// Start-up: publish the core interface, load, record the signatures, draw and save.
//
// The interface for the account module. window.__vl is published before the state is read from
// the store; `ready` resolves once it has been loaded and drawn, and the account module awaits it
// before its first getState(). Until then the page's controls are inert.
//   getState(), setState(s), render(), toast(msg, acts), todayStr(): as their names say.
//   save(days): `days`, an optional array of day keys, names the only days (besides the rest of
//     the state) that may have changed: the fast path. Without it any day may have. Either way
//     the state in memory is the truth at once; the writes are queued in order.
//   window.__vlOnSave(state, changed): the save hook, called after every save with the day keys
//     whose list content that save changed (new days included).
//   copies.get(name) -> promise of a state or null; copies.put(name, state) -> promise that
//     rejects when it cannot be written; copies.remove(name): named whole-state copies in the
//     store (the account caches "velloraState:" + user, the offline copy "velloraOffline").
//   flushed() -> promise that settles when every queued write has (a failed one stays queued).
//   restoreDay(day) -> promise of true when the day's recovery copy was put back as its list
//     (the version replaced becomes the recovery copy in turn).
const $wrap = document.querySelector('.wrap');
$wrap.inert = true;

function copyStore(name, mode, fn) {
  const n = String(name);
  if (db) return inTx(db, ['copies'], mode, (s) => fn(s.copies, n));
  return Promise.reject(new Error('no store'));
}

const copies = {
  get(name) {
    let out = null;
    return copyStore(name, 'readonly', (s, n) => {
      s.get(n).onsuccess = (e) => {
        out = e.target.result === undefined ? null : e.target.result;
      };
    }).then(() => out, () => null);
  },
  put(name, st) {
    return copyStore(name, 'readwrite', (s, n) => s.put(JSON.parse(JSON.stringify(st)), n));
  },
  remove(name) {
    return copyStore(name, 'readwrite', (s, n) => s.delete(n)).catch(() => undefined);
  },
};

function restoreDay(day) {
  if (!db || !hasOwn(state.days, day)) return Promise.resolve(false);
  let prev;
  return inTx(db, ['prev'], 'readonly', (s) => {
    s.prev.get(day).onsuccess = (e) => {
      prev = e.target.result;
    };
  }).then(() => {
    if (!prev || typeof prev.list !== 'string') return false;
    const list = JSON.parse(prev.list);
    if (!Array.isArray(list)) return false;
    state.days[day] = list.map(norm);
    lastChange.delete(day);
    saveDays(day);
    render();
    return true;
  });
}

// Warns when the origin's estimated room falls below what another year of days needs.
const ROOM_YEAR = 4e6;
function checkRoom() {
  if (!navigator.storage || !navigator.storage.estimate) return;
  navigator.storage.estimate().then((e) => {
    if (e && e.quota && e.quota - (e.usage || 0) < ROOM_YEAR) toast('⚠️ 浏览器留给本页的空间不够再存一年了，记得点「导出」备份');
  }, () => undefined);
}

let readyDone;
window.__vl = {
  getState: () => state,
  setState,
  save,
  render,
  toast,
  todayStr,
  ready: new Promise((r) => (readyDone = r)),
  copies,
  flushed: () => Promise.resolve().then(() => writes),
  restoreDay,
};
window.__sigAll = sigAll;
window.__vlSig = {};
window.__vlMarkClean = () => {
  window.__vlSig = sigAll(state);
};

load().then((fresh) => {
  $wrap.inert = false;
  render();
  if (window.performance && performance.mark) performance.mark('vl:drawn');
  window.__vlMarkClean();
  // The signatures just taken are the days' texts: the start-up save compares them with what is
  // stored and writes only what normalising changed (everything on a first start). It runs
  // before the account module's first save and calls no hook.
  const sig = window.__vlSig;
  persist(fresh ? null : Object.keys(state.days).filter((k) => sig[k] !== known.get(k)), sig);
  lastChange.clear(); // the teacher's first change of a day begins a run
  prevPending.clear();
  if (navigator.storage && navigator.storage.persist) navigator.storage.persist().catch(() => false);
  checkRoom();
  readyDone();
});
