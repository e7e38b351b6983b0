// The page's pure helpers, imported directly from their source.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import * as dates from '../../page/lib/dates.js';
import * as items from '../../page/lib/items.js';
import * as view from '../../page/lib/view.js';
import * as host from '../../page/lib/host.js';

const h = { ...dates, ...items, ...view, ...host };

const table = (name, fn, rows) =>
  test(name, () => {
    for (const [input, want] of rows) assert.deepEqual(fn(input), want, `${name}(${JSON.stringify(input)})`);
  });

table('snap puts times on the 10-minute grid', h.snap, [
  [undefined, ''], [null, ''], ['', ''],
  ['8:05', '08:10'], ['08:04', '08:00'], ['9:45', '09:50'], ['08:55', '09:00'], ['23:58', '00:00'],
  ['2024-05-01T14:33', '14:30'], ['2024-05-01T08:04', '08:00'], ['12:30pm', '12:30'], [' 10:20 ', '10:20'],
  [' 明天 ', '明天'], ['待定', '待定'], ['改天', '改天'],
  ['7:5', ''], ['abc', ''], ['08h30', ''], ['T', ''],
]);

table('qn reads the leading integer of a count, 0 to 12', h.qn, [
  ['5', 5], ['15', 12], ['12', 12], ['-3', 0], ['1a2', 12], ['3-4', 3], ['', 0], [undefined, 0], [null, 0],
  ['０３', 0], [' 7 ', 7], [4, 4], ['0', 0], ['--3', 0],
]);

test('addDays rolls months and years on the calendar', () => {
  const rows = [
    ['2024-02-28', 1, '2024-02-29'], ['2024-02-28', 2, '2024-03-01'], ['2023-02-28', 1, '2023-03-01'],
    ['2025-01-01', -1, '2024-12-31'], ['2024-12-28', 7, '2025-01-04'], ['2024-03-31', -31, '2024-02-29'],
    ['2024-03-09', 1, '2024-03-10'], ['2024-03-10', 1, '2024-03-11'], ['2024-11-03', 1, '2024-11-04'],
    ['0099-12-31', 1, '0100-01-01'], ['2024-05-01', 0, '2024-05-01'],
  ];
  const zones = ['UTC', 'America/Los_Angeles', 'Asia/Shanghai', 'Pacific/Kiritimati', 'America/Sao_Paulo', 'Australia/Lord_Howe'];
  const saved = process.env.TZ;
  try {
    for (const tz of zones) {
      process.env.TZ = tz;
      for (const [k, n, want] of rows) assert.equal(h.addDays(k, n), want, `${tz}: ${k} + ${n}`);
    }
  } finally {
    if (saved === undefined) delete process.env.TZ;
    else process.env.TZ = saved;
  }
});

table('isDayKey takes only real YYYY-MM-DD dates', h.isDayKey, [
  ['2024-02-29', true], ['2023-02-29', false], ['2024-13-01', false], ['2024-2-3', false], ['2024-02-03 ', false],
  ['__proto__', false], ['constructor', false], [20240203, false], [undefined, false],
]);

table('timeRank ranks concrete times, the three wait marks, then the rest', h.timeRank, [
  ['08:10', 0], ['8:10', 0], ['待定', 1], ['明天', 2], ['改天', 3], ['', 9], [undefined, 9], ['08:10x', 9], ['123:45', 9],
]);

table('colorOf hashes the UTF-16 units of a name into the avatar colours', h.colorOf, [
  ['', '#ffd3e0'], [undefined, '#ffd3e0'], ['a', '#ffe0c2'], ['张三', '#ffe0c2'], ['李四', '#e8dcff'],
]);

test('colorOf stays on the unsigned 32-bit hash for long names', () => {
  const name = 'Zhang San Feng the Third of Wudang';
  let v = 0;
  for (const c of name) v = (v * 31 + c.charCodeAt(0)) % 2 ** 32;
  assert.equal(h.colorOf(name), h.AV[v % 8]);
});

test('isWait knows exactly the three marks', () => {
  assert.deepEqual(['待定', '明天', '改天', '', undefined, '待定 ', '08:00'].map(h.isWait), [true, true, true, false, false, false, false]);
});

test('norm builds the eight members in order and drops everything else', () => {
  const topics = Array.from({ length: 15 }, (_, i) => 't' + i);
  topics[1] = null;
  topics[2] = 7;
  const it = h.norm({ extra: 1, note: 'n', done: 'yes', count: 5, time: '2024-05-01T08:04', topics, name: '小明', id: 'abc', next: null });
  assert.deepEqual(Object.keys(it), ['id', 'name', 'count', 'time', 'done', 'topics', 'next', 'note']);
  assert.deepEqual(it, {
    id: 'abc', name: '小明', count: '5', time: '08:00', done: true,
    topics: ['t0', '', '7', 't3', 't4', 't5', 't6', 't7', 't8', 't9', 't10', 't11'], next: '', note: 'n',
  });
  for (const input of [{}, null, 'text', 42]) {
    const d = h.norm(input);
    assert.match(d.id, /^[0-9a-z]{5,}$/);
    assert.deepEqual({ ...d, id: '' }, { id: '', name: '', count: '', time: '', done: false, topics: [], next: '', note: '' });
  }
  assert.equal(h.norm({ id: '', topics: 'no list' }).topics.length, 0);
  assert.notEqual(h.norm({ id: '' }).id, '');
});

test('uid gives base-36 ids that never repeat, even when the random draws do', () => {
  const real = Math.random;
  // the first two ids draw the same four characters, later draws differ
  let i = 0;
  Math.random = () => (i++ < 8 ? 0.5 : (i % 36) / 36);
  try {
    const ids = Array.from({ length: 3 }, h.uid);
    assert.equal(new Set(ids).size, 3, ids.join());
    for (const id of ids) assert.match(id, /^[0-9a-z]+[0-9a-z]{4}$/);
  } finally {
    Math.random = real;
  }
  assert.ok(h.uid().startsWith(Date.now().toString(36).slice(0, 5)));
});

test('sorted: concrete times early to late, then 待定, 明天, 改天, then no time; ties keep stored order', () => {
  const rows = [['a', '09:30'], ['b', '待定'], ['c', ''], ['d', '08:10'], ['e', '改天'], ['f', '明天'], ['g', '待定'], ['h', '08:10'], ['i', 'junk']]
    .map(([name, time]) => ({ name, time }));
  const copy = rows.slice();
  assert.deepEqual(h.sorted(rows).map((r) => r.name).join(''), 'dhabgfeci');
  assert.deepEqual(rows, copy, 'the stored list is left in its order');
});

test('statOf counts the day and picks the progress emoji; titleFor writes the window-title contract', () => {
  const day = (done, total, count = '') => Array.from({ length: total }, (_, i) => ({ done: i < done, count }));
  const rows = [
    [day(0, 0), { total: 0, done: 0, pct: 0, emoji: '🐣', left: 0 }],
    [day(0, 2), { total: 2, done: 0, pct: 0, emoji: '🌱', left: 2 }],
    [day(1, 3), { total: 3, done: 1, pct: 33, emoji: '🌿', left: 2 }],
    [day(1, 2), { total: 2, done: 1, pct: 50, emoji: '🌸', left: 1 }],
    [day(2, 3), { total: 3, done: 2, pct: 67, emoji: '🌸', left: 1 }],
    [day(3, 3), { total: 3, done: 3, pct: 100, emoji: '🎉', left: 0 }],
    [day(199, 200), { total: 200, done: 199, pct: 100, emoji: '🎉', left: 1 }],
  ];
  for (const [list, want] of rows) {
    const { ex, ...got } = h.statOf(list);
    assert.deepEqual(got, want);
  }
  assert.equal(h.statOf([{ count: '3' }, { count: '15' }, { count: 'x' }]).ex, 15);
  assert.equal(h.titleFor(3), '📝 Vellora · 待批改 3');
  assert.equal(h.titleFor(0), '📝 Vellora · 全部完成');
});

test('fitTopics cuts texts beyond the count and fills gaps', () => {
  const days = {
    '2024-03-01': [
      { count: '3', topics: ['a', 'b', 'c', 'd', 'e'] },
      { count: '', topics: ['x'] },
      { count: '4', topics: [, 'q'] }, // eslint-disable-line no-sparse-arrays
      { count: '2' },
    ],
    '2024-03-02': null,
  };
  h.fitTopics(days);
  assert.deepEqual(days['2024-03-01'].map((it) => it.topics), [['a', 'b', 'c'], [], ['', 'q'], []]);
});

test('sigAll gives each day the compact JSON of its list', () => {
  const st = { days: { '2024-03-01': [{ id: 'a', name: 'x' }], '2024-03-02': null } };
  assert.deepEqual(h.sigAll(st), { '2024-03-01': '[{"id":"a","name":"x"}]', '2024-03-02': '[]' });
});

test('esc turns the markup characters into references', () => {
  assert.equal(h.esc('<b a="1">Tom & Jerry</b>'), '&lt;b a=&quot;1&quot;&gt;Tom &amp; Jerry&lt;/b&gt;');
  assert.equal(h.esc(undefined), '');
});

test('timeTxt and timeCls label the time button', () => {
  const rows = [['待定', '⏳ 待定', 'w1'], ['明天', '🌙 明天', 'w2'], ['改天', '📅 改天', 'w3'], ['08:10', '⏰ 08:10', ''], ['', '选时刻', 'empty']];
  for (const [t, txt, cls] of rows) assert.deepEqual([h.timeTxt(t), h.timeCls(t)], [txt, cls]);
});

test('initial is the first character of the trimmed name', () => {
  assert.deepEqual(['  小明', 'amy', '', '   ', '😀x'].map(h.initial), ['小', 'a', '🐣', '🐣', '😀']);
});

test('fromStored fills in a stored state and normalises its rows', () => {
  const today = '2026-03-04';
  const def = { days: { [today]: [] }, current: today, settings: { autoNext: true } };
  for (const v of [undefined, null, 42, 'text', [], { current: '2024-01-01' }, { days: [] }, { days: 'x' }]) {
    assert.deepEqual(h.fromStored(v, today), def, JSON.stringify(v));
  }
  const st = h.fromStored({
    days: { '2024-01-01': [{ id: 'a', name: 'x', junk: 1 }], '2024-01-02': null, '2024-01-03': 'broken', '2024-01-04': { a: 1 } },
    current: '2024-01-02', rev: { '2024-01-01': 5 }, srv: { rev: {} }, settings: { autoNext: false },
  }, today);
  assert.deepEqual(st.days['2024-01-01'], [{ id: 'a', name: 'x', count: '', time: '', done: false, topics: [], next: '', note: '' }]);
  assert.deepEqual([st.days['2024-01-02'], st.days['2024-01-03'], st.days['2024-01-04']], [[], [], []]);
  assert.deepEqual([st.current, st.rev, st.srv, st.settings], ['2024-01-02', { '2024-01-01': 5 }, { rev: {} }, { autoNext: false }]);
  const odd = h.fromStored({ days: {}, current: 'soon', settings: 'on' }, today);
  assert.deepEqual([odd.current, odd.settings, odd.days], [today, { autoNext: true }, { [today]: [] }]);
});

test('fromStored keeps a stored "__proto__" day as plain data', () => {
  const st = h.fromStored(JSON.parse('{"days":{"__proto__":[{"name":"x"}]},"current":"2024-01-01"}'), '2026-01-01');
  assert.equal(Object.getPrototypeOf(st.days), Object.prototype);
  assert.equal({}.name, undefined);
  assert.equal(JSON.parse(JSON.stringify(st.days)).__proto__[0].name, 'x');
});

test('parseImport: the three members of an imported state', () => {
  const today = '2026-03-04';
  const topics = Array.from({ length: 15 }, (_, i) => String(i));
  const got = h.parseImport({
    days: { '2024-03-05': [{ id: 'a', name: '小明', time: '2024-05-01T08:04', topics }], '2024-03-01': null },
    current: '2024-03-05', settings: { autoNext: false }, rev: { '2024-03-05': 9 }, srv: {}, extra: 1,
  }, today);
  assert.deepEqual(Object.keys(got), ['days', 'current', 'settings']);
  assert.equal(got.current, '2024-03-05');
  assert.deepEqual(got.settings, { autoNext: false });
  assert.deepEqual(got.days['2024-03-01'], []);
  const it = got.days['2024-03-05'][0];
  assert.deepEqual([it.time, it.topics.length, it.topics[11]], ['08:00', 12, '11']);

  const rows = [
    // [file, current, day keys]
    [{ days: { '2024-03-07': [], '2024-03-02': [] }, current: '2024-09-09' }, '2024-03-02', ['2024-03-02', '2024-03-07']],
    [{ days: { '2024-03-07': [] }, current: 'toString' }, '2024-03-07', ['2024-03-07']],
    [{ days: {} }, today, [today]],
    [{ days: { 'not a day': 'ignored', '2024-02-30': 'ignored', '2024-03-01': [] } }, '2024-03-01', ['2024-03-01']],
  ];
  for (const [file, current, keys] of rows) {
    const s = h.parseImport(file, today);
    assert.equal(s.current, current, JSON.stringify(file));
    assert.deepEqual(Object.keys(s.days).sort(), keys);
    assert.deepEqual(s.settings, { autoNext: true });
  }
});

test('parseImport refuses what is not a planner state', () => {
  const bad = [null, 5, 'x', [], {}, { days: null }, { days: 'x' }, { days: [] }, { days: { '2024-03-01': 'x' } }, { days: { '2024-03-01': { 0: {} } } }];
  for (const v of bad) assert.equal(h.parseImport(v, '2026-01-01'), null, JSON.stringify(v));
});

test('parseImport never lets a file reach an object prototype', () => {
  const file = JSON.parse('{"days":{"__proto__":[{"name":"evil"}],"constructor":[],"2024-03-01":[]},"current":"__proto__","settings":{"__proto__":{"polluted":1}}}');
  const s = h.parseImport(file, '2026-01-01');
  assert.deepEqual(Object.keys(s.days), ['2024-03-01']);
  assert.equal(Object.getPrototypeOf(s.days), Object.prototype);
  assert.equal(s.current, '2024-03-01');
  assert.equal({}.polluted, undefined);
  assert.equal(s.days.name, undefined);
});

test('pickerPos: under the button, above it near the bottom, kept off the right and top edges', () => {
  const box = (left, top, w = 100, hgt = 30) => ({ left, top, right: left + w, bottom: top + hgt });
  const rows = [
    // button box, panel size, window size -> place
    [box(100, 100), [344, 400], [1360, 900], { top: 136, left: 100 }],
    [box(100, 800), [344, 400], [1360, 900], { top: 394, left: 100 }], // above: 800 - 400 - 6
    [box(100, 470), [344, 400], [1360, 900], { top: 64, left: 100 }], // 506 + 400 passes 900 - 6: above
    [box(1300, 100), [344, 400], [1360, 900], { top: 136, left: 1006 }], // 1360 - 344 - 10
    [box(100, 200), [344, 400], [1360, 300], { top: 8, left: 100 }], // above, but not past the top
    [box(-50, 100), [344, 400], [300, 900], { top: 136, left: 8 }], // narrower than the panel
  ];
  for (const [r, [pw, ph], [vw, vh], want] of rows) assert.deepEqual(h.pickerPos(r, pw, ph, vw, vh), want, JSON.stringify(r));
  // exactly touching the 6 px margin still fits under the button
  assert.deepEqual(h.pickerPos(box(0, 458), 344, 400, 1360, 900), { top: 494, left: 8 });
});

test('hostKindOf: the macOS scheme, the loopback address, else no host', () => {
  const rows = [
    [['vellora:', ''], 'mac'], [['vellora:', '127.0.0.1'], 'mac'], [['http:', '127.0.0.1'], 'win'],
    [['http:', 'localhost'], ''], [['file:', ''], ''], [['https:', 'vellora.example'], ''], [['http:', '127.0.0.2'], ''],
  ];
  for (const [[proto, host], want] of rows) assert.equal(h.hostKindOf(proto, host), want, `${proto}//${host}`);
});

test('hostPath: the command and its parameters in order, encoded', () => {
  assert.equal(h.hostPath('status'), '/__vlra?cmd=status');
  assert.equal(h.hostPath('autostart', { on: 1 }), '/__vlra?cmd=autostart&on=1');
  assert.equal(h.hostPath('a b&c', { 'x=': 'é', y: 0 }), '/__vlra?cmd=a%20b%26c&x%3D=%C3%A9&y=0');
});

test('setupTexts: the host line, install line, location, toggle and note per host', () => {
  const win = 'Windows 的开机自启写入当前用户的注册表 Run 项；安装后自启指向安装位置，随便删下载目录里的原 exe 都不影响。';
  const mac = 'Mac 的开机自启通过 LaunchAgents 实现；程序放在「应用程序」文件夹里最稳，搬家后重开一次自启即可。';
  const rows = [
    [['win', { kind: 'win', installed: 0, autostart: 1, installedPath: '' }],
      { sub: '当前是 Windows 桌面版', inst: '📌 安装到电脑（含桌面 + 开始菜单图标）', loc: '', installed: false, auto: '✅ 已开启 · 点关闭', foot: win }],
    [['win', { kind: 'win', installed: 1, autostart: 0, installedPath: 'C:\\u\\Vellora.exe' }],
      { sub: '当前是 Windows 桌面版', inst: '📌 已安装到电脑', loc: '位置：C:\\u\\Vellora.exe', installed: true, auto: '未开启 · 点开启', foot: win }],
    [['mac', { installed: true, autostart: false, installedPath: '/Applications/Vellora.app', appPath: '/Applications/Vellora.app' }],
      { sub: '当前是 Mac 桌面版：/Applications/Vellora.app', inst: '📌 已在「应用程序」文件夹', loc: '位置：/Applications/Vellora.app', installed: true, auto: '未开启 · 点开启', foot: mac }],
    [['mac', { installed: 0, autostart: 1 }],
      { sub: '当前是 Mac 桌面版', inst: '📌 安装到「应用程序」文件夹', loc: '', installed: false, auto: '✅ 已开启 · 点关闭', foot: mac }],
  ];
  for (const [[kind, st], want] of rows) assert.deepEqual(h.setupTexts(kind, st), want, JSON.stringify(st));
  const linux = h.setupTexts('win', { kind: 'linux', installed: 1, autostart: 1, installedPath: '/home/u/.local/share/Doremkin/vellora' });
  assert.equal(linux.sub, '当前是 Linux 桌面版');
  assert.equal(linux.inst, '📌 已安装到电脑');
  assert.match(linux.foot, /^Linux 的开机自启.*autostart/);
  assert.equal(h.setupTexts('mac', { kind: 'linux' }).sub, '当前是 Mac 桌面版', 'only the loopback host names itself through kind');
});
