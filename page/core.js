// Page core: owns the one planner state, loads it from local storage, saves it on every change,
// draws the day on view and runs the day operations. The account module reaches it only through
// window.__vl and the signature globals published at the end.
(function () {
  'use strict';
  if (window.performance && performance.mark) performance.mark('vl:start');

  /*@js helpers.js*/

  // ===================================================================== storage and state

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

  // ===================================================================== elements

  const $ = (id) => document.getElementById(id);
  const $lists = $('lists');
  const $rows = $('rows');
  const $rowsDone = $('rowsDone');
  const $cardDone = $('cardDone');
  const $doneHd = $('doneHd');
  const $foldIcon = $('foldIcon');
  const $cntWait = $('cntWait');
  const $cntDone = $('cntDone');
  const $empty = $('empty');
  const $stat = $('stat');
  const $progEmoji = $('progEmoji');
  const $progFill = $('progFill');
  const $progBar = $progFill.parentNode;
  const $progTxt = $('progTxt');
  const $date = $('date');
  const $search = $('search');
  const $hideDone = $('hideDone');
  const $autoNext = $('autoNext');
  const $file = $('file');
  const $tpick = $('tpick');
  const $toast = $('toast');
  const $zoom = $('zoom');
  const $ztitle = $('ztitle');
  const $ztext = $('ztext');

  const rowEl = (id) => $lists.querySelector('tr[data-id="' + CSS.escape(id) + '"]');

  // ===================================================================== toast

  let toastTimer = 0;
  let toastActs = [];

  function hideToast() {
    clearTimeout(toastTimer);
    $toast.classList.remove('show');
  }

  function toast(msg, acts) {
    const list = Array.isArray(acts) ? acts : [];
    toastActs = list;
    $toast.textContent = '';
    const span = document.createElement('span');
    span.textContent = msg == null ? '' : String(msg);
    $toast.appendChild(span);
    list.forEach((a, i) => {
      if (!a || !a.label) return;
      const b = document.createElement('button');
      b.type = 'button';
      b.className = 'tact';
      b.dataset.act = i;
      b.textContent = a.label;
      $toast.appendChild(b);
    });
    $toast.classList.add('show');
    clearTimeout(toastTimer);
    toastTimer = setTimeout(hideToast, list.length ? 5200 : 2600);
  }

  $toast.addEventListener('click', (e) => {
    const b = e.target.closest('.tact');
    if (!b) return;
    const a = toastActs[+b.dataset.act];
    hideToast();
    try {
      if (a && typeof a.fn === 'function') a.fn();
    } catch (err) {
      // an action that fails leaves the page as it is
    }
  });

  // ===================================================================== day view

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

  // ===================================================================== day operations

  let lastDel = null;
  let zoomId = null;

  function addRow() {
    if ($search.value) $search.value = '';
    if ($hideDone.checked) $hideDone.checked = false;
    const it = norm({ time: '待定' });
    setDay(dayList().concat([it]));
    saveDays(state.current);
    render();
    const tr = rowEl(it.id);
    if (!tr) return;
    tr.scrollIntoView({ block: 'nearest' });
    tr.querySelector('[data-f="name"]').focus();
  }

  function delItem(id) {
    const list = dayList();
    const it = list.find((x) => x.id === id);
    if (!it) return;
    const name = it.name.trim();
    const rec = [{ day: state.current, item: norm(it) }];
    let laterDays = 0;
    if (name) {
      for (const k of Object.keys(state.days).sort()) {
        const l = state.days[k];
        if (k <= state.current || !Array.isArray(l)) continue;
        const keep = [];
        for (const x of l) {
          if (x && String(x.name == null ? '' : x.name).trim() === name) rec.push({ day: k, item: norm(x) });
          else keep.push(x);
        }
        if (keep.length < l.length) {
          state.days[k] = keep;
          laterDays++;
        }
      }
    }
    setDay(list.filter((x) => x !== it));
    const t = Date.now();
    for (const r of rec) bumpRev(r.day, t);
    saveDays(...rec.map((r) => r.day));
    render();
    if (laterDays) {
      lastDel = rec;
      toast('🗑️ 已删 ' + name + ' · 后面 ' + laterDays + ' 天的 ' + name + ' 也一起清了', [{ label: '撤销', fn: undoDel }]);
    }
  }

  function undoDel() {
    if (!lastDel) return;
    const rec = lastDel;
    lastDel = null;
    const t = Date.now();
    for (const r of rec) {
      if (!Array.isArray(state.days[r.day])) state.days[r.day] = [];
      state.days[r.day].push(r.item);
      bumpRev(r.day, t);
    }
    saveDays(...rec.map((r) => r.day));
    render();
    toast('↩️ 已恢复 ' + rec.length + ' 条');
  }

  // Shows a day, giving it an empty list when it has none.
  function showDay(k) {
    state.current = k;
    if (!Array.isArray(state.days[k])) state.days[k] = [];
    saveDays(k);
    render();
  }

  function goNextDay(auto) {
    const nd = addDays(state.current, 1);
    if (!Array.isArray(state.days[nd])) state.days[nd] = dayList().map((it) => norm({ name: it.name, time: '待定' }));
    state.current = nd;
    saveDays(nd);
    if (auto) {
      celebrate();
      toast('🎉 当天全部完成，已跳转到 ' + nd);
    }
    render();
  }

  function maybeAutoNext() {
    if (!autoOn()) return;
    const list = dayList();
    if (!list.length || list.some((it) => !it.done)) return;
    goNextDay(true);
  }

  function openZoom(id) {
    const it = find(id);
    if (!it) return;
    zoomId = id;
    $ztitle.textContent = '💬 备注 · ' + (it.name.trim() || '未命名');
    $ztext.value = it.note;
    $zoom.classList.add('show');
    setTimeout(() => {
      if (zoomId !== id) return;
      $ztext.focus();
      const n = $ztext.value.length;
      $ztext.setSelectionRange(n, n);
    }, 40);
  }

  function closeZoom(keep) {
    if (!$zoom.classList.contains('show')) return;
    const id = zoomId;
    const it = keep && id != null ? find(id) : null;
    if (it) {
      it.note = $ztext.value;
      saveDays(state.current);
      const tr = rowEl(id);
      const f = tr && tr.querySelector('[data-f="note"]');
      if (f) {
        f.value = it.note;
        f.title = it.note || '点一下放大编辑';
      }
      toast('💬 备注已保存');
    }
    $zoom.classList.remove('show');
    zoomId = null;
    const back = id != null && rowEl(id);
    if (back) back.querySelector('[data-f="note"]').focus({ preventScroll: true });
  }

  $zoom.addEventListener('mousedown', (e) => {
    if (e.target === $zoom) closeZoom(true);
  });
  $zoom.addEventListener('click', (e) => {
    const b = e.target.closest('[data-z]');
    if (b) closeZoom(b.dataset.z === 'save');
  });
  $ztext.addEventListener('keydown', (e) => {
    if (e.key === 'Enter' && (e.ctrlKey || e.metaKey)) {
      e.preventDefault();
      closeZoom(true);
    }
  });
  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && $zoom.classList.contains('show')) {
      e.preventDefault();
      closeZoom(true);
    }
  });

  $('add').addEventListener('click', addRow);
  $('prevDay').addEventListener('click', () => showDay(addDays(state.current, -1)));
  $('nextDay').addEventListener('click', () => goNextDay(false));
  $('today').addEventListener('click', () => showDay(todayStr()));
  $date.addEventListener('change', () => {
    if (isDayKey($date.value)) showDay($date.value);
    else if ($date.value) $date.value = state.current;
  });
  $autoNext.addEventListener('change', () => {
    state.settings.autoNext = $autoNext.checked;
    saveDays();
    if ($autoNext.checked) maybeAutoNext();
  });

  // ===================================================================== time picker and moves

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

  // ===================================================================== desktop host bridge

  const HOST_KIND = hostKindOf(location.protocol, location.hostname);
  const MAC_WAIT_MS = 8000;
  const macCbs = new Map(); // token -> the resolve of a command waiting for the macOS host
  let hostSt = null;

  const $setupBtn = $('setupBtn');
  const $setupBox = $('setupBox');
  const $sSub = $('sSub');
  const $sInstTxt = $('sInstTxt');
  const $sInstSt = $('sInstSt');
  const $sInstallBtn = $('sInstallBtn');
  const $sAutoBtn = $('sAutoBtn');
  const $sFoot = $('sFoot');

  // A reply is an object or nothing: a body such as "null" or "5" counts as no reply.
  const replyOf = (r) => (r && typeof r === 'object' ? r : undefined);

  // Sends one host command; the promise always resolves, to the reply or to nothing.
  function hostCmd(cmd, params) {
    const p = params || {};
    try {
      if (HOST_KIND === 'win') {
        return fetch(hostPath(cmd, p), { cache: 'no-store', headers: { 'X-Vellora-Host': '1' } }).then((r) => r.json()).then(replyOf, () => undefined);
      }
      const mh = HOST_KIND === 'mac' && window.webkit && window.webkit.messageHandlers;
      if (mh && mh.vlraLaunch) {
        let tok;
        do tok = 't' + Date.now() + Math.floor(Math.random() * 100000);
        while (macCbs.has(tok));
        return new Promise((resolve) => {
          const done = (r) => resolve(replyOf(r));
          macCbs.set(tok, done);
          setTimeout(() => {
            if (macCbs.get(tok) !== done) return;
            macCbs.delete(tok);
            done(undefined);
          }, MAC_WAIT_MS);
          try {
            mh.vlraLaunch.postMessage(JSON.stringify({ cmd, cb: tok, params: p }));
          } catch (e) {
            macCbs.delete(tok);
            done(undefined);
          }
        });
      }
    } catch (e) {
      // falls through to no reply
    }
    return Promise.resolve(undefined);
  }

  // The macOS host delivers its replies here; a token nobody waits for any more is ignored.
  window.__vlraApply = (token, reply) => {
    const done = macCbs.get(token);
    if (!done) return;
    macCbs.delete(token);
    done(reply);
  };

  function renderSetup() {
    if (!hostSt) return;
    const t = setupTexts(HOST_KIND, hostSt);
    $sSub.textContent = t.sub;
    $sInstTxt.textContent = t.inst;
    $sInstSt.textContent = t.loc;
    $sInstSt.className = t.installed ? 'st okst' : 'st';
    $sInstallBtn.hidden = t.installed;
    $sAutoBtn.textContent = t.auto;
    $sFoot.textContent = t.foot;
  }

  function askStatus() {
    return hostCmd('status').then((r) => {
      if (!r) return;
      hostSt = r;
      renderSetup();
    });
  }

  function openSetup() {
    $setupBox.classList.add('show');
    $setupBox.querySelector('[data-s="close"]').focus({ preventScroll: true });
    askStatus();
  }

  function closeSetup() {
    if (!$setupBox.classList.contains('show')) return;
    $setupBox.classList.remove('show');
    if (HOST_KIND) $setupBtn.focus({ preventScroll: true });
  }

  if (HOST_KIND) $setupBtn.hidden = false;
  $setupBtn.addEventListener('click', openSetup);
  $setupBox.addEventListener('mousedown', (e) => {
    if (e.target === $setupBox) closeSetup();
  });
  $setupBox.addEventListener('click', (e) => {
    if (e.target.closest('[data-s="close"]')) closeSetup();
  });
  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && $setupBox.classList.contains('show')) {
      e.preventDefault();
      closeSetup();
    }
  });

  $sInstallBtn.addEventListener('click', () => {
    $sInstallBtn.disabled = true;
    $sInstallBtn.textContent = '安装中…';
    hostCmd('install').then((r) => {
      $sInstallBtn.disabled = false;
      $sInstallBtn.textContent = '一键安装';
      if (r && r.ok) {
        toast('📌 已安装好，开机自启也顺手开啦');
        askStatus();
      } else {
        toast(r && r.error ? '安装没成功：' + r.error : '安装没成功，稍后再试试');
      }
    });
  });

  $sAutoBtn.addEventListener('click', () => {
    const on = !(hostSt && hostSt.autostart);
    $sAutoBtn.disabled = true;
    hostCmd('autostart', { on: on ? 1 : 0 }).then((r) => {
      $sAutoBtn.disabled = false;
      if (r && r.ok) {
        if (!hostSt) hostSt = {};
        hostSt.autostart = !!r.autostart;
        renderSetup();
        toast(r.autostart ? '🚀 开机自启已开启，下次开机直接挂球' : '已关闭开机自启');
      } else {
        toast('设置没成功，稍后再试试');
      }
    });
  });

  // ===================================================================== export and import

  function exportState() {
    const blob = new Blob([JSON.stringify(state, null, 2)], { type: 'application/json' });
    const url = URL.createObjectURL(blob);
    const a = document.createElement('a');
    a.href = url;
    a.download = 'Vellora备份_' + todayStr() + '.json';
    document.body.appendChild(a);
    a.click();
    a.remove();
    URL.revokeObjectURL(url);
    toast('💾 已导出备份');
  }

  function importText(text) {
    let next = null;
    try {
      next = parseImport(JSON.parse(text), todayStr());
    } catch (e) {
      next = null;
    }
    if (!next) {
      alert('导入失败：文件格式不正确');
      return;
    }
    state = next;
    save();
    render();
    toast('📥 导入成功');
  }

  $('export').addEventListener('click', exportState);
  $('import').addEventListener('click', () => $file.click());
  $file.addEventListener('change', () => {
    const f = $file.files && $file.files[0];
    if (!f) return;
    f.text().then(importText, () => alert('导入失败：文件格式不正确')).then(() => {
      $file.value = '';
    });
  });

  // ===================================================================== start

  load();
  window.__vl = { getState: () => state, setState, save, render, toast, todayStr };
  window.__sigAll = sigAll;
  window.__vlSig = {};
  window.__vlMarkClean = () => {
    window.__vlSig = sigAll(state);
  };
  window.__vlMarkClean();
  render();
  if (window.performance && performance.mark) performance.mark('vl:drawn');
  // The signatures just taken are the days' texts: the first save reuses them, and writes
  // nothing when the stored text is already the same.
  const sig = window.__vlSig;
  for (const k of Object.keys(state.days)) if (Array.isArray(state.days[k])) dayCache.set(k, { list: state.days[k], json: sig[k] });
  saveDays();
})();
