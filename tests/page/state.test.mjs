// Planner state and storage in the served page: loading, saving, the core interface, export and import.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { readFile, writeFile, mkdtemp } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { item, open, setup, stateOf, stored } from './harness.mjs';

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
  test('every change is saved at once; the value before it is kept as "-prev" when longer than 20 characters', async () => {
    const tiny = '{"days":{}}';
    const { page, context } = await open(h.env.browser, h.env.url, { ...ZONE, storage: { 'homework-planner-v5': tiny } });
    assert.equal(await page.evaluate(() => localStorage.getItem('homework-planner-v5-prev')), null, 'a stored value of 11 characters is not copied');
    const before = await page.evaluate(() => localStorage.getItem('homework-planner-v5'));
    await page.click('#add');
    assert.equal(await page.evaluate(() => localStorage.getItem('homework-planner-v5-prev')), before);
    await page.keyboard.type('李');
    assert.equal((await stored(page)).days[TODAY][0].name, '李');
    // a save that would write the very text already stored writes nothing, so the copy keeps
    // the value before the last real change
    const prev = await page.evaluate(() => localStorage.getItem('homework-planner-v5-prev'));
    await page.click('#today');
    assert.equal(await page.evaluate(() => localStorage.getItem('homework-planner-v5-prev')), prev);
    assert.match(prev, /"name":""/);
    await context.close();
  });

  test('a save the storage refuses keeps the page working, warns, and tells the teacher once a minute', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, ZONE);
    const warnings = [];
    page.on('console', (m) => m.type() === 'warning' && warnings.push(m.text()));
    await page.click('#add');
    await page.evaluate(() => {
      window.hooked = 0;
      window.__vlOnSave = () => window.hooked++;
      Storage.prototype.setItem = function () { throw new DOMException('full', 'QuotaExceededError'); };
    });
    await page.keyboard.type('a');
    assert.equal(await toastText(page), '保存失败，请导出备份');
    assert.equal(warnings.length, 1);
    assert.match(warnings[0], /^保存失败，请导出备份/);
    await page.evaluate(() => window.__vl.toast('something else'));
    await page.keyboard.type('b');
    assert.equal(await toastText(page), 'something else', 'not again within the minute');
    await page.clock.runFor(60000);
    await page.keyboard.type('c');
    assert.equal(await toastText(page), '保存失败，请导出备份');
    assert.equal(await page.evaluate(() => window.hooked), 3, 'the hook runs after failed saves too');
    assert.equal(await page.inputValue('[data-f="name"]'), 'abc');
    assert.equal(await page.evaluate(() => window.__vl.getState().days[window.__vl.todayStr()][0].name), 'abc');
    await context.close();
  });

  test('the recovery copy never takes the room the state itself needs', async () => {
    // A storage of limited size, counted in characters of keys and values.
    const { page, context } = await open(h.env.browser, h.env.url, ZONE);
    await page.click('#add');
    await page.evaluate(() => {
      const real = Storage.prototype.setItem;
      const size = () => Object.keys(localStorage).reduce((n, k) => n + k.length + localStorage.getItem(k).length, 0);
      // room for one more copy of the state as it is now: the recovery copy fits, a longer state then does not
      localStorage.removeItem('homework-planner-v5-prev');
      const limit = size() + localStorage.getItem('homework-planner-v5').length + 'homework-planner-v5-prev'.length;
      Storage.prototype.setItem = function (k, v) {
        const old = this.getItem(k);
        if (size() - (old == null ? 0 : k.length + old.length) + k.length + String(v).length > limit) throw new DOMException('full', 'QuotaExceededError');
        real.call(this, k, v);
      };
    });
    await page.keyboard.type('张');
    assert.equal((await stored(page)).days[TODAY][0].name, '张');
    assert.equal(await toastText(page), '');
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
    assert.deepEqual(got.members, ['getState', 'render', 'save', 'setState', 'toast', 'todayStr']);
    assert.deepEqual(got.sig, { '2024-01-01': JSON.stringify([item('a', 'x')]) });
    assert.equal(got.sameObject, true);
    assert.deepEqual(got.filled, { days: { '2024-02-02': [], [TODAY]: [] }, current: TODAY, settings: { autoNext: true }, rev: {} });
    assert.deepEqual(got.sigAll, { d: '[{"id":"q"}]', e: '[]' });
    assert.deepEqual(got.marked, { '2024-02-02': '[]', [TODAY]: '[]' });
    await context.close();
  });

  test('save calls the hook with the state after writing', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, ZONE);
    const seen = await page.evaluate(() => {
      const out = [];
      window.__vlOnSave = (st) => out.push([st === window.__vl.getState(), JSON.parse(localStorage.getItem('homework-planner-v5')).current]);
      window.__vl.getState().current = '2025-05-05';
      window.__vl.save();
      window.__vlOnSave = () => { throw new Error('hook fails'); };
      window.__vl.save();
      return out;
    });
    assert.deepEqual(seen, [[true, '2025-05-05']]);
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
