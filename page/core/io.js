// Export to and import from a JSON file.

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
