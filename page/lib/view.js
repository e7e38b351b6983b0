// What the day view and the time picker show, computed from plain values. Pure, as lib/dates.js.

function esc(s) {
  return str(s).replace(/[&"<>]/g, (c) => ({ '&': '&amp;', '"': '&quot;', '<': '&lt;', '>': '&gt;' })[c]);
}

function timeCls(t) {
  const s = str(t);
  if (hasOwn(WAIT, s)) return 'w' + WAIT[s];
  return s ? '' : 'empty';
}

function timeTxt(t) {
  const s = str(t);
  if (hasOwn(WAIT, s)) return WICON[s] + ' ' + s;
  return s ? '⏰ ' + s : '选时刻';
}

// The avatar's letter: the first character of the trimmed name.
function initial(name) {
  const t = str(name).trim();
  return t ? String.fromCodePoint(t.codePointAt(0)) : '🐣';
}

// Counts of a day for the status bar.
function statOf(list) {
  let done = 0;
  let ex = 0;
  for (const it of list) {
    if (it.done) done++;
    ex += qn(it.count);
  }
  const total = list.length;
  const pct = total ? Math.round((done / total) * 100) : 0;
  let emoji = '🎉';
  if (!total) emoji = '🐣';
  else if (pct === 0) emoji = '🌱';
  else if (pct < 50) emoji = '🌿';
  else if (pct < 100) emoji = '🌸';
  return { total, done, ex, pct, emoji, left: total - done };
}

function titleFor(left) {
  return '📝 Vellora' + (left > 0 ? ' · 待批改 ' + left : ' · 全部完成');
}

// ===================================================================== time picker

// Where the time picker goes in the window, for a button's box `r` and the panel's size: under
// the button, or above it when it would pass the window's bottom; never nearer than 10 px to the
// right edge nor 8 px to the top or left edge.
function pickerPos(r, pw, ph, vw, vh) {
  let top = r.bottom + 6;
  if (top + ph > vh - 6) top = Math.max(8, r.top - ph - 6);
  const left = Math.max(8, Math.min(r.left, vw - pw - 10));
  return { top, left };
}

// @node-only
import { hasOwn, str, qn, WAIT, WICON } from './items.js';
export { esc, timeCls, timeTxt, initial, statOf, titleFor, pickerPos };
