// Fingerprints of schedule items and the three-way merge of one day, shared by the page's sync
// engine and, item for item, by vellora-server. Pure functions: no DOM, no storage, no clock.
// The account module inlines this file; everything from the "@node-only" line on serves node.

// djb2 over the UTF-16 code units of a text, as an unsigned 32-bit number in base 36.
function fpHash(text) {
  const s = String(text);
  let h = 5381;
  for (let i = 0; i < s.length; i++) h = (Math.imul(h, 33) + s.charCodeAt(i)) >>> 0;
  return h.toString(36);
}

// An item's fingerprint: over its JSON text, keys in the item's own order.
function fpItem(item) {
  return fpHash(JSON.stringify(item));
}

const fpId = (item) => (item && typeof item === 'object' && typeof item.id === 'string' && item.id !== '' ? item.id : '');

// A day's fingerprint map: id -> fpItem for every item with a non-empty id.
function fpDay(list) {
  const out = {};
  if (!Array.isArray(list)) return out;
  for (const it of list) {
    const id = fpId(it);
    if (id) out[id] = fpItem(it);
  }
  return out;
}

function sameFp(a, b) {
  const x = a || {};
  const y = b || {};
  const kx = Object.keys(x);
  if (kx.length !== Object.keys(y).length) return false;
  for (const k of kx) if (!Object.prototype.hasOwnProperty.call(y, k) || y[k] !== x[k]) return false;
  return true;
}

// Three-way merge of one day. `mine` is the merging side and wins every conflict; `theirs` is
// the other side; `baseFp` the fingerprints of the day as both last agreed. A deletion is known
// only for an id the base holds, so a side without a base can only add.
function merge3(baseFp, mine, theirs) {
  const base = baseFp || {};
  const inBase = (id) => Object.prototype.hasOwnProperty.call(base, id);
  const mineList = Array.isArray(mine) ? mine : [];
  const theirList = Array.isArray(theirs) ? theirs : [];
  const their = new Map();
  for (const it of theirList) {
    const id = fpId(it);
    if (id) their.set(id, it);
  }
  const out = [];
  const seen = new Set();
  for (const it of mineList) {
    const id = fpId(it);
    if (!id) {
      out.push(it);
      continue;
    }
    seen.add(id);
    const untouched = inBase(id) && base[id] === fpItem(it);
    if (!their.has(id)) {
      if (!untouched) out.push(it);
    } else out.push(untouched ? their.get(id) : it);
  }
  for (const it of theirList) {
    const id = fpId(it);
    if (!id || seen.has(id) || inBase(id)) continue;
    out.push(it);
  }
  return out;
}

// @node-only
export { fpHash, fpItem, fpDay, sameFp, merge3 };
