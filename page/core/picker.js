// The time picker and moving rows to another day, with the undo of a move.

let pickAnchor = null; // the time button that opened the panel last
let pickId = null; // the row the panel serves
let lastMove = null; // { from, to, index, item } of the latest move, for its undo

function pickerHtml(time) {
  let h = '<div class="ttl">⏰ 选时刻（10 分钟一档）</div><div class="quick">' +
    '<button type="button" class="slot' + (time === '待定' ? ' on' : '') + '" data-v="待定">⏳ 待定</button>' +
    '<button type="button" class="slot" data-a="tomo">🌙 明天</button>' +
    '<button type="button" class="slot" data-a="later">📅 改天</button></div><div class="grid">';
  for (let hr = SLOTS_H0; hr <= SLOTS_H1; hr++) {
    h += '<div class="hourhd">' + pad(hr) + ' 时</div>';
    for (let m = 0; m < 60; m += 10) {
      const v = pad(hr) + ':' + pad(m);
      h += '<button type="button" class="slot' + (v === time ? ' on' : '') + '" data-v="' + v + '">' + v + '</button>';
    }
  }
  return h + '<button type="button" class="slot clr" data-v="">清除时刻</button></div>';
}

function closePicker() {
  $tpick.classList.remove('show');
}

function placePicker(btn) {
  const p = pickerPos(btn.getBoundingClientRect(), $tpick.offsetWidth, $tpick.offsetHeight, window.innerWidth, window.innerHeight);
  $tpick.style.top = p.top + 'px';
  $tpick.style.left = p.left + 'px';
}

function openPicker(btn, id) {
  const it = find(id);
  if (!it) return;
  pickAnchor = btn;
  pickId = id;
  $tpick.innerHTML = pickerHtml(it.time);
  $tpick.classList.add('show');
  placePicker(btn);
  const grid = $tpick.querySelector('.grid');
  const on = $tpick.querySelector('.on');
  (on || $tpick.querySelector('.slot')).focus({ preventScroll: true });
  $tpick.scrollTop = 0;
  grid.scrollTop = 0;
  // On a wide window the grid scrolls on its own: bring the marked time to its middle. On a
  // narrow one the whole sheet scrolls and stays at its top, with the quick row in view.
  if (on && window.innerWidth > 820 && grid.contains(on)) {
    const g = grid.getBoundingClientRect();
    const b = on.getBoundingClientRect();
    grid.scrollTop += b.top + b.height / 2 - (g.top + grid.clientHeight / 2);
  }
}

function openMovePanel(id) {
  pickId = id;
  $tpick.innerHTML = '<div class="ttl">📅 挪到哪一天？</div><div class="mvrow">' +
    '<input type="date" class="mvdate" value="' + esc(addDays(state.current, 1)) + '" aria-label="挪到的日期">' +
    '<button type="button" id="mvGo" class="slot go">挪过去 ›</button></div><div class="mvquick">' +
    '<button type="button" class="slot" data-d="2">+2 天</button><button type="button" class="slot" data-d="3">+3 天</button>' +
    '<button type="button" class="slot" data-d="7">+1 周</button></div>' +
    '<button type="button" id="mvBack" class="slot clr">← 返回选时刻</button>';
  if (pickAnchor && pickAnchor.isConnected) placePicker(pickAnchor);
  $tpick.querySelector('.mvdate').focus();
}

function setTime(id, v) {
  const it = find(id);
  const back = $tpick.contains(document.activeElement);
  closePicker();
  if (!it) return;
  it.time = v;
  saveDays(state.current);
  render();
  // a choice made from the keyboard leaves the focus on the row's time button
  const tr = back && rowEl(id);
  if (tr) tr.querySelector('[data-f="time"]').focus({ preventScroll: true });
}

// Moves row `id` of the day on view to day `target`: an undone, normalised copy with a new id
// is appended there. Gives the name to show and the target, or null when nothing moved.
function moveToDate(id, target) {
  const from = state.current;
  if (!target || target === from || !isDayKey(target)) return null;
  const list = state.days[from];
  const index = Array.isArray(list) ? list.findIndex((x) => x && x.id === id) : -1;
  if (index < 0) return null;
  const it = list[index];
  const copy = norm(it);
  copy.id = uid();
  copy.done = false;
  if (isWait(copy.time)) copy.time = '待定';
  if (!Array.isArray(state.days[target])) state.days[target] = [];
  state.days[target].push(copy);
  state.days[from] = list.filter((x, i) => i !== index);
  const t = Date.now();
  setRev(from, t);
  bumpRev(target, t + 1);
  saveDays(from, target);
  lastMove = { from, to: target, index, item: copy };
  return { name: String(it.name == null ? '' : it.name) || '这一条', target };
}

function setRev(day, t) {
  if (!state.rev || typeof state.rev !== 'object') state.rev = {};
  state.rev[day] = t;
}

function movedToast(r) {
  toast('🗓️ ' + r.name + ' 已挪到 ' + r.target, [
    { label: '去看看 ›', fn: () => goDate(r.target) },
    { label: '撤销', fn: undoMove },
  ]);
  render();
}

function doMove(id, target) {
  closePicker();
  const r = moveToDate(id, target);
  if (r) movedToast(r);
  else render();
}

function moveToTomorrow(id) {
  const r = moveToDate(id, addDays(state.current, 1));
  if (r) movedToast(r);
}

function undoMove() {
  const m = lastMove;
  if (!m) return;
  lastMove = null;
  const to = state.days[m.to];
  if (!Array.isArray(to)) return;
  state.days[m.to] = to.filter((x) => !x || x.id !== m.item.id);
  const back = Array.isArray(state.days[m.from]) ? state.days[m.from].slice() : [];
  back.splice(Math.min(m.index, back.length), 0, m.item);
  state.days[m.from] = back;
  const t = Date.now();
  setRev(m.from, t);
  bumpRev(m.to, t + 1);
  saveDays(m.from, m.to);
  render();
  toast('↩️ 已放回 ' + m.from);
}

function goDate(day) {
  if (!day) return;
  state.current = day;
  saveDays();
  render();
}

// The button an arrow key leads to: the neighbour in reading order for left and right; for up
// and down, on the nearest line in that direction, the first button that reaches past this
// one's left edge (so the quick row's three buttons and the grid's six columns meet in a
// fixed way).
function pickNeighbour(b, key) {
  const all = [...$tpick.querySelectorAll('button')];
  if (key === 'ArrowLeft' || key === 'ArrowRight') return all[all.indexOf(b) + (key === 'ArrowLeft' ? -1 : 1)] || null;
  // lines are compared as laid out, as if the grid were not scrolled
  const grid = $tpick.querySelector('.grid');
  const box = (e) => {
    const q = e.getBoundingClientRect();
    const y = grid && grid.contains(e) ? grid.scrollTop : 0;
    return { top: q.top + y, bottom: q.bottom + y, left: q.left, right: q.right };
  };
  const r = box(b);
  let best = null;
  let line = Infinity;
  for (const o of all) {
    if (o === b) continue;
    const q = box(o);
    const dy = key === 'ArrowDown' ? q.top - r.bottom : r.top - q.bottom;
    if (dy < -1 || q.right <= r.left + 1) continue;
    if (dy < line - 2) {
      best = o;
      line = dy;
    }
  }
  return best;
}

// Opening and closing: a row's time button opens the panel on itself; any other click outside
// the panel closes it.
document.addEventListener('click', (e) => {
  const btn = e.target.closest && e.target.closest('.tpick[data-f="time"]');
  if (btn) openPicker(btn, btn.dataset.id);
  else if (!$tpick.contains(e.target)) closePicker();
});

// The panel's buttons. Those that rebuild the panel under the pointer keep their click from the
// document's listener, which would no longer find the clicked button inside the panel.
$tpick.addEventListener('click', (e) => {
  const b = e.target.closest('button');
  if (!b) return;
  const id = pickId;
  const d = b.dataset;
  if (b.id === 'mvGo') {
    e.stopPropagation();
    const v = $tpick.querySelector('.mvdate').value;
    if (!v) toast('先挑个日期～');
    else doMove(id, v);
  } else if (b.id === 'mvBack') {
    e.stopPropagation();
    if (pickAnchor && pickAnchor.isConnected) openPicker(pickAnchor, id);
    else closePicker();
  } else if (d.d) {
    e.stopPropagation();
    doMove(id, addDays(state.current, +d.d));
  } else if (d.a === 'later') {
    e.stopPropagation();
    openMovePanel(id);
  } else if (d.a === 'tomo') {
    doMove(id, addDays(state.current, 1));
  } else if (d.v != null) {
    setTime(id, d.v);
  }
});

$tpick.addEventListener('keydown', (e) => {
  if (e.target.classList.contains('mvdate')) {
    if (e.key === 'Enter' && !e.isComposing) {
      e.preventDefault();
      $tpick.querySelector('#mvGo').click();
    }
    return; // the arrows change the date there
  }
  if (!/^Arrow(Up|Down|Left|Right)$/.test(e.key) || !e.target.closest('button')) return;
  e.preventDefault();
  const next = pickNeighbour(e.target.closest('button'), e.key);
  if (next) next.focus();
});

document.addEventListener('keydown', (e) => {
  if (e.key !== 'Escape' || !$tpick.classList.contains('show')) return;
  e.preventDefault();
  closePicker();
  if (pickAnchor && pickAnchor.isConnected) pickAnchor.focus({ preventScroll: true });
});

window.addEventListener('resize', closePicker);
