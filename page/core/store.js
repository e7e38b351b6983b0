// The per-day store in IndexedDB, behind a small promise wrapper.
//
// Database "vellora", object stores:
//   days    day key -> { list: JSON text of the day's list, rev, srvRev, base } (the last three
//           only when the state holds them: state.rev[d], state.srv.rev[d], state.srv.base[d])
//   prev    day key -> { list, at }: the day as it was before its latest run of changes (a run
//           ends after PREV_QUIET_MS without a change, or with a whole-state replacement)
//   meta    "state" -> every other member of the state, with the key order of the state
//   copies  name -> a whole planner state (the account caches and the offline copy)
const DB_NAME = 'vellora';
const DB_VERSION = 1;

const req = (r) =>
  new Promise((resolve, reject) => {
    r.onsuccess = () => resolve(r.result);
    r.onerror = () => reject(r.error);
  });

function openStore() {
  return new Promise((resolve, reject) => {
    let r;
    try {
      r = indexedDB.open(DB_NAME, DB_VERSION);
    } catch (e) {
      reject(e);
      return;
    }
    r.onupgradeneeded = () => {
      const db = r.result;
      for (const s of ['days', 'prev', 'meta', 'copies']) if (!db.objectStoreNames.contains(s)) db.createObjectStore(s);
    };
    r.onsuccess = () => {
      const db = r.result;
      // a newer page (or a test clearing the store) asks for the database: let it have it
      db.onversionchange = () => db.close();
      resolve(db);
    };
    r.onerror = () => reject(r.error);
    r.onblocked = () => reject(new Error('the store is held by an older page'));
  });
}

// One transaction over `names`; `fn(stores)` queues its requests. Resolves when committed.
function inTx(db, names, mode, fn) {
  return new Promise((resolve, reject) => {
    let tx;
    try {
      tx = db.transaction(names, mode);
      const stores = {};
      for (const n of names) stores[n] = tx.objectStore(n);
      fn(stores);
      // commit at once instead of at the end of the task, so that a page closed right after a
      // keystroke still has it
      if (typeof tx.commit === 'function') tx.commit();
    } catch (e) {
      if (tx) {
        try {
          tx.abort();
        } catch (e2) {
          // already ended
        }
      }
      reject(e);
      return;
    }
    tx.oncomplete = () => resolve();
    tx.onerror = () => reject(tx.error);
    tx.onabort = () => reject(tx.error || new DOMException('aborted', 'AbortError'));
  });
}

// Everything stored: { meta, days: [[key, record]] } with days in key order; meta undefined
// when the store has never been written.
function readStore(db) {
  const tx = db.transaction(['meta', 'days'], 'readonly');
  const meta = req(tx.objectStore('meta').get('state'));
  const keys = req(tx.objectStore('days').getAllKeys());
  const vals = req(tx.objectStore('days').getAll());
  return Promise.all([meta, keys, vals]).then(([m, k, v]) => ({ meta: m, days: k.map((key, i) => [key, v[i]]) }));
}
