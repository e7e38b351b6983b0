// Day operations: adding and deleting rows (with the cascade and its undo), changing day,
// carrying names to the next day and the automatic next day.

let lastDel = null;


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
