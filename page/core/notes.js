// The notes editor: a row's note opened large, saved when closed.

let zoomId = null;

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
