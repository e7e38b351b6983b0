// Day keys and calendar arithmetic. Pure: node tests this file directly; the assembler inlines
// it into the page core's strict function scope and leaves out what follows "@node-only".

function pad(n) {
  return (n < 10 ? '0' : '') + n;
}

function dayKeyOf(y, m, d) {
  return String(y).padStart(4, '0') + '-' + pad(m) + '-' + pad(d);
}

// Today's local calendar date.
function todayStr() {
  const d = new Date();
  return dayKeyOf(d.getFullYear(), d.getMonth() + 1, d.getDate());
}

// Calendar arithmetic on the UTC calendar, so neither the time zone nor a daylight-saving
// change can shift the result. setUTCFullYear keeps years below 100 as they are.
function addDays(key, n) {
  const p = String(key).split('-');
  const dt = new Date(0);
  dt.setUTCFullYear(+p[0], +p[1] - 1, +p[2] + n);
  return dayKeyOf(dt.getUTCFullYear(), dt.getUTCMonth() + 1, dt.getUTCDate());
}

// A YYYY-MM-DD text naming a real calendar date.
function isDayKey(k) {
  return typeof k === 'string' && /^\d{4}-\d{2}-\d{2}$/.test(k) && addDays(k, 0) === k;
}

// Row ids: time in base 36 plus four random base-36 characters. Ids drawn within the same

// @node-only
export { pad, dayKeyOf, todayStr, addDays, isDayKey };
