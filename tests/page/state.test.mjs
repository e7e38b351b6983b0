// Planner state and storage in the served page: loading, saving, the core interface, export and import.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { readFile, writeFile, mkdtemp, rm } from 'node:fs/promises';
import { chromium } from 'playwright-core';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { item, open, ready, setup, stateOf, stored } from './harness.mjs';

const h = setup();
before(h.before);
after(h.after);

const ZONE = { timezoneId: 'Asia/Shanghai', clock: new Date('2026-03-04T09:00:00+08:00') };
const TODAY = '2026-03-04';
const until = async (cond, what) => {
  for (let i = 0; i < 100 && !cond(); i++) await new Promise((r) => setTimeout(r, 50));
  assert.ok(cond(), 'waited in vain for: ' + what);
};
const names = (page) => page.$$eval('#lists tr[data-id] [data-f="name"]', (els) => els.map((e) => e.value));
const toastText = (page) => page.evaluate(() => (document.getElementById('toast').classList.contains('show') ? document.querySelector('#toast span').textContent : ''));

describe('Loading', () => {
  test('a first visit stores the default state', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, ZONE);
    assert.deepEqual(await stored(page), { days: { [TODAY]: [] }, current: TODAY, settings: { autoNext: true } });
    assert.equal(await page.evaluate(() => localStorage.getItem('homework-planner-v5-prev')), null);
    assert.equal(await page.inputValue('#date'), TODAY);
    await context.close();
  });

  test('takes the first stored key that parses; v4 alone is loaded and saved as v5, and stays', async () => {
    const day = '2024-05-06';
    const v4 = stateOf({ [day]: [item('a', 'v4 student', { extra: 'dropped', time: '8:05' })] }, day);
    const v3 = stateOf({ [day]: [item('b', 'v3 student')] }, day);
    const fromV4 = [item('a', 'v4 student', { time: '08:10' })];
    const rows = [
      // [storage, the day's stored list afterwards, current]
      [{ 'homework-planner-v4': v4, 'homework-planner-v3': v3 }, fromV4, day],
      [{ 'homework-planner-v5': '{broken', 'homework-planner-v4': v4 }, fromV4, day],
      [{ 'homework-planner-v3': v3 }, v3.days[day], day],
      [{ 'homework-planner-v5': 'null', 'homework-planner-v4': v4 }, undefined, TODAY],
      [{ 'homework-planner-v5': { nodays: 1 }, 'homework-planner-v4': v4 }, undefined, TODAY],
    ];
    for (const [storage, list, current] of rows) {
      const { page, context, errors } = await open(h.env.browser, h.env.url, { ...ZONE, storage });
      const v5 = await stored(page);
      assert.equal(v5.current, current, JSON.stringify(Object.keys(storage)));
      assert.deepEqual(v5.days[day], list);
      assert.deepEqual(await names(page), list ? list.map((it) => it.name) : []);
      if (storage['homework-planner-v4']) assert.deepEqual(await stored(page, 'homework-planner-v4'), v4, 'the old key is left as it was');
      assert.deepEqual(errors, []);
      await context.close();
    }
  });

  test('keeps the day last viewed, other members and the sync bookkeeping; a broken day becomes empty', async () => {
    const st = stateOf({ '2024-01-01': [item('a', 'x')], '2024-01-02': 'broken', '2024-01-03': { 0: 1 } }, '2024-01-01', {
      rev: { '2024-01-01': 5 }, srv: { rev: { '2024-01-01': 2 }, base: {} }, settingsRev: 3, settings: { autoNext: false },
    });
    const { page, context, errors } = await open(h.env.browser, h.env.url, { ...ZONE, storage: { 'homework-planner-v5': st } });
    const v5 = await stored(page);
    assert.deepEqual(v5, { ...st, days: { '2024-01-01': [item('a', 'x')], '2024-01-02': [], '2024-01-03': [] } });
    assert.equal(await page.isChecked('#autoNext'), false);
    assert.deepEqual(errors, []);
    await context.close();
  });
});

describe('Saving', () => {
  test('a keystroke is in the store when the browser is closed right after it', async () => {
    const dir = await mkdtemp(join(tmpdir(), 'vellora-profile-'));
    const persistent = () => chromium.launchPersistentContext(dir, { executablePath: '/usr/bin/chromium', headless: true, args: ['--no-sandbox', '--disable-gpu'] });
    let ctx = await persistent();
    let page = ctx.pages()[0] || (await ctx.newPage());
    await page.goto(h.env.url);
    await ready(page);
    await page.click('#add');
    await page.keyboard.type('王');
    await ctx.close();
    ctx = await persistent();
    page = ctx.pages()[0] || (await ctx.newPage());
    await page.goto(h.env.url);
    await ready(page);
    assert.deepEqual(await names(page), ['王']);
    await ctx.close();
    await rm(dir, { recursive: true, force: true });
  });

  test('a save writes only the days it changed, and tells the hook which days those are', async () => {
    const st = stateOf({ '2024-01-01': [item('a', 'x')], '2024-01-02': [item('b', 'y')] }, '2024-01-01', { rev: { '2024-01-01': 7, '2023-12-31': 1 }, srv: { rev: { '2024-01-02': 4 }, base: { '2024-01-02': { b: 'f' } } } });
    const { page, context } = await open(h.env.browser, h.env.url, { ...ZONE, storage: { 'homework-planner-v5': st } });
    assert.deepEqual(await stored(page), st, 'the per-day records rebuild the state with its bookkeeping');
    const got = await page.evaluate(async () => {
      const seen = [];
      window.__vlOnSave = (s, changed) => {
        seen.push(changed);
        s.rev['2024-01-01'] = 99; // what the hook stamps reaches the store with this save
      };
      const puts = [];
      const real = IDBObjectStore.prototype.put;
      IDBObjectStore.prototype.put = function (v, k) {
        puts.push(this.name + ':' + k);
        return real.call(this, v, k);
      };
      const s = window.__vl.getState();
      s.days['2024-01-01'][0].name = 'x2';
      window.__vl.save(['2024-01-01']);
      s.days['2024-03-03'] = [];
      window.__vl.save();
      window.__vl.save(['2024-01-02']);
      await window.__vl.flushed();
      IDBObjectStore.prototype.put = real;
      return { seen, puts };
    });
    assert.deepEqual(got.seen, [['2024-01-01'], ['2024-03-03'], []]);
    assert.deepEqual(got.puts.filter((p) => p.startsWith('days:')), ['days:2024-01-01', 'days:2024-03-03']);
    const after = await stored(page);
    assert.equal(after.rev['2024-01-01'], 99);
    assert.equal(after.days['2024-01-01'][0].name, 'x2');
    assert.deepEqual(after.srv, st.srv);
    await context.close();
  });

  test('the version of a day before its latest run of changes can be put back', async () => {
    const st = stateOf({ [TODAY]: [item('a', '原来的')] }, TODAY);
    const { page, context } = await open(h.env.browser, h.env.url, { ...ZONE, storage: { 'homework-planner-v5': st } });
    await page.fill('[data-f="name"]', '');
    await page.keyboard.type('改错了');
    assert.equal(await page.evaluate((d) => window.__vl.restoreDay(d), TODAY), true);
    assert.deepEqual(await names(page), ['原来的']);
    assert.equal((await stored(page)).days[TODAY][0].name, '原来的');
    // the version replaced is the copy now, so the restore itself can be undone
    await page.evaluate((d) => window.__vl.restoreDay(d), TODAY);
    assert.deepEqual(await names(page), ['改错了']);
    await context.close();
  });

  test('a write the store refuses keeps the edit, tells the teacher once a minute, and is written with the next save', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, ZONE);
    const warnings = [];
    page.on('console', (m) => m.type() === 'warning' && warnings.push(m.text()));
    await page.click('#add');
    await page.evaluate(() => {
      window.hooked = 0;
      window.__vlOnSave = () => window.hooked++;
      window.realPut = IDBObjectStore.prototype.put;
      IDBObjectStore.prototype.put = function () { throw new DOMException('full', 'QuotaExceededError'); };
    });
    await page.keyboard.type('a');
    await page.evaluate(() => window.__vl.flushed());
    await page.waitForFunction(() => document.querySelector('#toast span').textContent === '保存失败，请导出备份');
    assert.equal(warnings.length, 1);
    assert.match(warnings[0], /^保存失败，请导出备份/);
    await page.evaluate(() => window.__vl.toast('something else'));
    await page.keyboard.type('b');
    await page.evaluate(() => window.__vl.flushed());
    assert.equal(await toastText(page), 'something else', 'not again within the minute');
    await page.clock.runFor(60000);
    await page.keyboard.type('c');
    await page.evaluate(() => window.__vl.flushed());
    await page.waitForFunction(() => document.querySelector('#toast span').textContent === '保存失败，请导出备份');
    assert.equal(await page.evaluate(() => window.hooked), 3, 'the hook runs after failed saves too');
    assert.equal(await page.evaluate(() => window.__vl.getState().days[window.__vl.todayStr()][0].name), 'abc');
    assert.equal((await stored(page)).days[TODAY][0].name, '', 'nothing of the refused writes is stored');
    // writing works again: the next save stores what the refused ones held
    await page.evaluate(() => { IDBObjectStore.prototype.put = window.realPut; });
    await page.click('#today');
    assert.equal((await stored(page)).days[TODAY][0].name, 'abc');
    await page.reload();
    await ready(page);
    assert.deepEqual(await names(page), ['abc']);
    await context.close();
  });

  test('without IndexedDB the page keeps the local storage layout', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, { ...ZONE, noStore: true });
    await page.click('#add');
    await page.keyboard.type('李');
    const v5 = await page.evaluate(async () => {
      await window.__vl.flushed();
      return JSON.parse(localStorage.getItem('homework-planner-v5'));
    });
    assert.equal(v5.days[TODAY][0].name, '李');
    assert.match(await page.evaluate(() => localStorage.getItem('homework-planner-v5-prev')), /"name":""/);
    await context.close();
  });
});

describe('Two pages of the planner on one origin', () => {
  test("each sees the other's saved days without a reload, and a field being typed in keeps its text", async () => {
    const { page: one, context } = await open(h.env.browser, h.env.url);
    const two = await context.newPage();
    await two.goto(h.env.url);
    await ready(two);
    const rowNames = async (page) => (await names(page)).join(',');
    // polls `read` until it gives `want` (at most 5 s), and returns its last value
    const settle = async (read, want) => {
      let got = await read();
      for (let i = 0; i < 100 && got !== want; i++) {
        await new Promise((r) => setTimeout(r, 50));
        got = await read();
      }
      return got;
    };

    await one.click('#add');
    await one.keyboard.type('张');
    await one.evaluate(() => document.activeElement.blur());
    assert.equal(await settle(() => rowNames(two), '张'), '张', 'a row added in one page shows in the other');

    // the second page types in that row's name: the first page's later edit of another day does
    // not disturb it, and its own text reaches the first page
    await two.click('#lists tr[data-id] [data-f="name"]');
    await two.keyboard.type('小明');
    assert.equal(await settle(() => rowNames(one), '张小明'), '张小明');
    await one.evaluate(async () => {
      const s = window.__vl.getState();
      s.days['2026-03-05'] = [{ id: 'x1', name: '李华', count: '', time: '', done: false, topics: [], next: '', note: '' }];
      window.__vl.save(['2026-03-05']);
      await window.__vl.flushed();
    });
    const otherDay = () => two.evaluate(() => window.__vl.getState().days['2026-03-05']?.[0]?.name);
    assert.equal(await settle(otherDay, '李华'), '李华');
    assert.equal(await two.evaluate(() => document.activeElement.value), '张小明', 'the focused field kept its text');
    await two.keyboard.type('!');
    assert.equal(await settle(() => rowNames(one), '张小明!'), '张小明!');
    await context.close();
  });
});

describe('Core interface', () => {
  test('getState is live, setState fills in what is missing, signatures follow the state', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, { ...ZONE, storage: { 'homework-planner-v5': stateOf({ '2024-01-01': [item('a', 'x')] }, '2024-01-01') } });
    const got = await page.evaluate(() => {
      const vl = window.__vl;
      const out = { members: Object.keys(vl).sort(), sig: window.__vlSig, sameObject: vl.getState() === vl.getState() };
      vl.setState({ days: { '2024-02-02': [] } });
      out.filled = vl.getState();
      out.sigAll = window.__sigAll({ days: { d: [{ id: 'q' }], e: null } });
      window.__vlMarkClean();
      out.marked = window.__vlSig;
      return out;
    });
    assert.deepEqual(got.members, ['copies', 'flushed', 'getState', 'ready', 'render', 'restoreDay', 'save', 'setState', 'toast', 'todayStr']);
    assert.deepEqual(got.sig, { '2024-01-01': JSON.stringify([item('a', 'x')]) });
    assert.equal(got.sameObject, true);
    assert.deepEqual(got.filled, { days: { '2024-02-02': [], [TODAY]: [] }, current: TODAY, settings: { autoNext: true }, rev: {} });
    assert.deepEqual(got.sigAll, { d: '[{"id":"q"}]', e: '[]' });
    assert.deepEqual(got.marked, { '2024-02-02': '[]', [TODAY]: '[]' });
    await context.close();
  });

  test('save calls the hook with the state; named copies are kept in the store', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, ZONE);
    const seen = await page.evaluate(async () => {
      const out = [];
      window.__vlOnSave = (st, changed) => out.push([st === window.__vl.getState(), changed]);
      window.__vl.getState().current = '2025-05-05';
      window.__vl.getState().days['2025-05-05'] = [];
      window.__vl.save();
      window.__vlOnSave = () => { throw new Error('hook fails'); };
      window.__vl.save();
      const c = window.__vl.copies;
      await c.put('velloraState:ann', { days: { '2025-01-01': [] }, current: '2025-01-01' });
      out.push(await c.get('velloraState:ann'), await c.get('velloraOffline'));
      await c.remove('velloraState:ann');
      out.push(await c.get('velloraState:ann'));
      out.push(await c.put('x', { f: 1n }).then(() => 'stored', () => 'rejected'));
      return out;
    });
    assert.deepEqual(seen, [[true, ['2025-05-05']], { days: { '2025-01-01': [] }, current: '2025-01-01' }, null, null, 'rejected']);
    assert.equal((await stored(page)).current, '2025-05-05');
    await context.close();
  });
});

describe('Export and import', () => {
  test('export writes the whole state, indented; importing it restores days, day and settings', async () => {
    const st = stateOf({
      '2024-03-04': [item('a', '小明', { count: '2', topics: ['p1', 'p2'], time: '08:10', note: '第一行\n第二行' })],
      '2024-03-05': [item('b', 'Amy', { done: true })],
    }, '2024-03-05', { rev: { '2024-03-04': 1 }, srv: { rev: {} }, settings: { autoNext: false } });
    const { page, context } = await open(h.env.browser, h.env.url, { ...ZONE, acceptDownloads: true, storage: { 'homework-planner-v5': st } });
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#export')]);
    assert.equal(download.suggestedFilename(), `Vellora备份_${TODAY}.json`);
    const text = await readFile(await download.path(), 'utf8');
    assert.deepEqual(JSON.parse(text), st);
    assert.equal(text, JSON.stringify(st, null, 2));
    assert.equal(await toastText(page), '💾 已导出备份');

    await page.click('#prevDay');
    await page.click('#add');
    const dir = await mkdtemp(join(tmpdir(), 'vellora-import-'));
    const file = join(dir, 'backup.json');
    await writeFile(file, text);
    await page.setInputFiles('#file', file);
    await page.waitForFunction(() => document.querySelector('#toast span') && document.querySelector('#toast span').textContent === '📥 导入成功');
    assert.deepEqual(await stored(page), { days: st.days, current: '2024-03-05', settings: { autoNext: false } });
    assert.deepEqual(await names(page), ['Amy']);
    assert.equal(await page.inputValue('#file'), '', 'the same file can be chosen again');
    await context.close();
  });

  test('a malformed file shows the alert and changes nothing', async () => {
    const st = stateOf({ '2024-03-04': [item('a', '小明')] }, '2024-03-04');
    const dialogs = [];
    const { page, context } = await open(h.env.browser, h.env.url, { ...ZONE, dialogs, storage: { 'homework-planner-v5': st } });
    const dir = await mkdtemp(join(tmpdir(), 'vellora-import-'));
    const files = ['not json at all', '[]', '{"current":"2024-03-04"}', '{"days":[]}', '{"days":{"2024-03-05":{"id":"x"}}}'];
    for (const [i, body] of files.entries()) {
      const file = join(dir, `bad${i}.json`);
      await writeFile(file, body);
      await page.setInputFiles('#file', file);
      await until(() => dialogs.length === i + 1, body);
      await page.waitForFunction(() => document.querySelector('#file').value === '');
      assert.equal(dialogs[i], '导入失败：文件格式不正确');
    }
    assert.deepEqual(await stored(page), st);
    assert.deepEqual(await names(page), ['小明']);
    await context.close();
  });
});
