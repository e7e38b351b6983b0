// The day view: status bar, the two cards of rows, and the edits typed into a row.

const CONFETTI = ['🎉', '✨', '🎊', '💖', '🌟', '🍬'];
const EMPTY_DONE = '<span class="face">🎉</span>今天全部批改完啦！<br>完成的学生都在下面「✅ 已完成」那一框里～';
const EMPTY_NONE = '<span class="face">🐣</span>这一天还没有排期～<br>点「＋ 新建作业」手动添加，或点「下一天 ›」把学生姓名带过来。';
const jumpTimers = new WeakMap();

function topicsHtml(it) {
  const n = qn(it.count);
  if (!n) return '<span class="tiph">填了数量就长出格子 ✍️</span>';
  const t = Array.isArray(it.topics) ? it.topics : [];
  let h = '<div class="tlist">';
  for (let i = 0; i < n; i++) {
    const label = '第' + (i + 1) + '题';
    h += '<div class="tline"><span class="tno">' + CIRC[i] + '</span><input class="cell tcell" data-f="topic" data-i="' + i +
      '" value="' + esc(t[i]) + '" placeholder="' + label + '" aria-label="' + label + '"></div>';
  }
  return h + '</div>';
}

function rowHtml(it, i) {
  const id = esc(it.id);
  const cls = timeCls(it.time);
  return '<tr data-id="' + id + '"' + (it.done ? ' class="finished"' : '') + '>' +
    '<td class="idx">' + (i + 1) + '</td>' +
    '<td class="name"><div class="nm"><span class="ava" style="background:' + colorOf(it.name) + '">' + esc(initial(it.name)) +
    '</span><input class="cell" data-f="name" value="' + esc(it.name) + '" placeholder="写个名字～" aria-label="学生姓名"></div></td>' +
    '<td class="count"><input class="cell" data-f="count" inputmode="numeric" value="' + esc(it.count) +
    '" placeholder="0" aria-label="题目数量"></td>' +
    '<td class="topics">' + topicsHtml(it) + '</td>' +
    '<td class="time"><button type="button" class="tpick' + (cls ? ' ' + cls : '') + '" data-f="time" data-id="' + id + '">' +
    esc(timeTxt(it.time)) + '</button></td>' +
    '<td class="fin"><label><input type="checkbox" data-f="done"' + (it.done ? ' checked' : '') + '>完成</label></td>' +
    '<td class="next"><input class="cell" data-f="next" value="' + esc(it.next) + '" placeholder="下一步…" aria-label="下一步计划"></td>' +
    '<td class="note"><input class="cell nt" data-f="note" readonly value="' + esc(it.note) + '" title="' +
    esc(it.note || '点一下放大编辑') + '" placeholder="备注… 点一下放大" aria-label="备注"></td>' +
    '<td class="ops"><button type="button" class="tomo" data-id="' + id + '" title="移到明天">明天 ›</button>' +
    '<button type="button" class="del" data-id="' + id + '" title="删除" aria-label="删除">✕</button></td></tr>';
}

function fillRows(tbody, list) {
  let h = '';
  for (let i = 0; i < list.length; i++) h += rowHtml(list[i], i);
  tbody.innerHTML = h;
}


function updateStat() {
  const s = statOf(dayList());
  $stat.innerHTML =
    '<span class="chip date">📅 ' + esc(state.current) + '</span>' +
    '<span class="chip">👥 共 <b>' + s.total + '</b> 人</span>' +
    '<span class="chip">📝 共 <b>' + s.ex + '</b> 题</span>' +
    '<span class="chip ok">✅ <b>' + s.done + '</b></span>' +
    '<span class="chip wait">⏳ <b>' + s.left + '</b></span>';
  $progFill.style.width = s.pct + '%';
  $progBar.setAttribute('aria-valuenow', s.pct);
  $progTxt.textContent = s.pct + '%';
  $progEmoji.textContent = s.emoji;
  try {
    const mh = window.webkit && window.webkit.messageHandlers;
    if (mh && mh.vlraBadge) mh.vlraBadge.postMessage({ n: s.left });
  } catch (e) {
    // the desktop host's badge is optional
  }
  document.title = titleFor(s.left);
}

function render() {
  $date.value = state.current;
  $autoNext.checked = autoOn();
  closePicker();
  const q = $search.value.trim();
  const wait = [];
  const done = [];
  for (const it of sorted(dayList())) {
    if (q && !it.name.includes(q)) continue;
    (it.done ? done : wait).push(it);
  }
  fillRows($rows, wait);
  fillRows($rowsDone, done);
  $cntWait.textContent = wait.length;
  $cntDone.textContent = done.length;
  $cardDone.hidden = !done.length || $hideDone.checked;
  $empty.hidden = wait.length > 0;
  if (!wait.length) $empty.innerHTML = done.length ? EMPTY_DONE : EMPTY_NONE;
  updateStat();
}

function celebrate() {
  const frag = document.createDocumentFragment();
  const pieces = [];
  for (let i = 0; i < 20; i++) {
    const d = document.createElement('div');
    d.className = 'cft';
    d.setAttribute('aria-hidden', 'true');
    d.textContent = CONFETTI[i % CONFETTI.length];
    d.style.left = (2 + Math.random() * 94).toFixed(2) + '%';
    d.style.animationDelay = (Math.random() * 0.55).toFixed(3) + 's';
    pieces.push(d);
    frag.appendChild(d);
  }
  document.body.appendChild(frag);
  setTimeout(() => pieces.forEach((d) => d.remove()), 2400);
}

function focusFirstTopic(id) {
  const tr = rowEl(id);
  const f = tr && tr.querySelector('[data-f="topic"]');
  if (!f) return false;
  f.focus();
  f.select();
  return true;
}

function focusField(id, field) {
  const tr = rowEl(id);
  const f = tr && tr.querySelector('[data-f="' + field + '"]');
  if (f) f.focus();
}

function cancelJump(el) {
  clearTimeout(jumpTimers.get(el));
  jumpTimers.delete(el);
}

// One listener takes every edit of every row; text edits never redraw the table.
$lists.addEventListener('input', (e) => {
  const el = e.target;
  const f = el.dataset && el.dataset.f;
  const tr = f && el.closest('tr[data-id]');
  const it = tr && find(tr.dataset.id);
  if (!it) return;
  if (f === 'done') {
    it.done = el.checked;
    saveDays(state.current);
    render();
    if (it.done) toast('✅ ' + (it.name.trim() || '这位同学') + ' 已完成，挪到下面啦 👇');
    maybeAutoNext();
  } else if (f === 'count') {
    it.count = el.value;
    tr.querySelector('td.topics').innerHTML = topicsHtml(it);
    if (parseInt(el.value, 10) > MAXQ) toast('最多显示 ' + MAXQ + ' 个题目格哦');
    cancelJump(el);
    const id = it.id;
    jumpTimers.set(el, setTimeout(() => {
      jumpTimers.delete(el);
      if (document.activeElement === el) focusFirstTopic(id);
    }, 420));
    updateStat();
    saveDays(state.current);
  } else if (f === 'topic') {
    if (!Array.isArray(it.topics)) it.topics = [];
    it.topics[+el.dataset.i] = el.value;
    saveDays(state.current);
  } else if (f === 'name') {
    it.name = el.value;
    saveDays(state.current);
    const ava = tr.querySelector('.ava');
    ava.textContent = initial(it.name);
    ava.style.background = colorOf(it.name);
    updateStat();
  } else if (f === 'next') {
    it.next = el.value;
    saveDays(state.current);
  }
});

$lists.addEventListener('keydown', (e) => {
  if (e.key !== 'Enter' || e.isComposing || e.keyCode === 229) return; // Enter that ends an IME composition
  const el = e.target;
  if (el === $doneHd) {
    e.preventDefault();
    toggleFold();
    return;
  }
  const f = el.dataset && el.dataset.f;
  const tr = f && el.closest('tr[data-id]');
  if (!tr) return;
  const id = tr.dataset.id;
  if (f === 'count') {
    e.preventDefault();
    cancelJump(el);
    if (!focusFirstTopic(id)) focusField(id, 'next');
  } else if (f === 'name') {
    e.preventDefault();
    focusField(id, 'next');
  } else if (f === 'note') {
    e.preventDefault();
    openZoom(id);
  }
});

// The note field opens the editor instead of taking the caret.
$lists.addEventListener('mousedown', (e) => {
  const el = e.target.closest('[data-f="note"]');
  const tr = el && el.closest('tr[data-id]');
  if (!tr) return;
  e.preventDefault();
  openZoom(tr.dataset.id);
});

function toggleFold() {
  const folded = $cardDone.classList.toggle('folded');
  $foldIcon.textContent = folded ? '展开 ▾' : '收起 ▴';
  $doneHd.setAttribute('aria-expanded', String(!folded));
}

$lists.addEventListener('click', (e) => {
  if (e.target.closest('#doneHd')) {
    toggleFold();
    return;
  }
  const tomo = e.target.closest('.tomo');
  if (tomo) {
    moveToTomorrow(tomo.dataset.id);
    return;
  }
  const del = e.target.closest('.del');
  const tr = del && del.closest('tr[data-id]');
  if (tr) delItem(tr.dataset.id);
});

$search.addEventListener('input', render);
$hideDone.addEventListener('change', render);
