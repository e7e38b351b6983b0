// Day operations in the served page: add, delete with its cascade and undo, navigation, the next day,
// the automatic next day, the row keys, the notes editor, and the day rules in two time zones.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { item, open, setup, stateOf, stored } from './harness.mjs';

const h = setup();
before(h.before);
after(h.after);

const NOW = new Date('2024-03-04T09:00:00Z');
const T = NOW.getTime();
const at = (days, current, extra = {}) => ({ storage: { 'homework-planner-v5': stateOf(days, current, extra) }, clock: NOW, timezoneId: 'UTC' });
const names = (page, tbody = '#lists') => page.$$eval(`${tbody} tr[data-id] [data-f="name"]`, (els) => els.map((e) => e.value));
const toastOf = (page) => page.evaluate(() => {
  const t = document.getElementById('toast');
  return t.classList.contains('show') ? [t.querySelector('span').textContent, ...[...t.querySelectorAll('.tact')].map((b) => b.textContent)] : [];
});
const focusedField = (page) => page.evaluate(() => document.activeElement.dataset.f + (document.activeElement.dataset.i || '') + '@' + (document.activeElement.closest('tr') || {}).dataset?.id);
const namesOf = (list) => list.map((it) => it.name);

describe('Adding', () => {
  test('a new 待定 row: the filters are cleared, it sorts after the earlier 待定 rows, its name has the focus', async () => {
    const day = '2024-03-04';
    const list = [item('m', 'M', { time: '明天' }), item('w', 'W', { time: '待定' }), item('n', 'N', { time: '' }), item('t', 'T', { time: '08:00', done: true }), item('g', 'G', { time: '改天' })];
    const { page, context } = await open(h.env.browser, h.env.url, at({ [day]: list }, day));
    await page.fill('#search', 'nobody');
    await page.check('#hideDone');
    await page.click('#add');
    assert.deepEqual([await page.inputValue('#search'), await page.isChecked('#hideDone')], ['', false]);
    const st = await stored(page);
    const added = st.days[day][5];
    assert.deepEqual({ ...added, id: '' }, item('', ''));
    assert.match(added.id, /^[0-9a-z]{9,}$/);
    assert.deepEqual(await names(page, '#rows'), ['W', '', 'M', 'G', 'N']);
    assert.equal(await page.textContent(`tr[data-id="${added.id}"] [data-f="time"]`), '⏳ 待定');
    assert.equal(await focusedField(page), 'name@' + added.id);
    await context.close();
  });
});

describe('Deleting', () => {
  const days = () => ({
    '2024-03-01': [item('p1', '小明')],
    '2024-03-04': [item('c1', '小明'), item('c2', '小明'), item('c3', 'Amy')],
    '2024-03-05': [item('n1', ' 小明 '), item('n2', 'Amy'), item('n3', '小明')],
    '2024-03-06': [item('x1', 'xiaoming')],
    '2024-03-07': [item('s1', '小明')],
  });

  test('removes the student from later days, stamps rev, and "撤销" puts every row back once', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, at(days(), '2024-03-04', { rev: { '2024-03-07': T + 99999, '2024-03-05': 5 } }));
    await page.click('tr[data-id="c1"] .del');
    let st = await stored(page);
    assert.deepEqual(Object.fromEntries(Object.entries(st.days).map(([k, l]) => [k, l.map((it) => it.id)])), {
      '2024-03-01': ['p1'], '2024-03-04': ['c2', 'c3'], '2024-03-05': ['n2'], '2024-03-06': ['x1'], '2024-03-07': [],
    });
    assert.deepEqual(st.rev, { '2024-03-07': T + 99999, '2024-03-05': T, '2024-03-04': T });
    assert.deepEqual(await toastOf(page), ['🗑️ 已删 小明 · 后面 2 天的 小明 也一起清了', '撤销']);
    assert.deepEqual(await names(page), ['小明', 'Amy']);

    await page.clock.runFor(1000);
    await page.click('#toast .tact');
    st = await stored(page);
    assert.deepEqual(Object.fromEntries(Object.entries(st.days).map(([k, l]) => [k, l.map((it) => it.id)])), {
      '2024-03-01': ['p1'], '2024-03-04': ['c2', 'c3', 'c1'], '2024-03-05': ['n2', 'n1', 'n3'], '2024-03-06': ['x1'], '2024-03-07': ['s1'],
    });
    const byId = (d) => Object.values(d).flat().sort((a, b) => (a.id < b.id ? -1 : 1));
    assert.deepEqual(byId(st.days), byId(days()), 'the rows come back unchanged');
    assert.deepEqual(st.rev, { '2024-03-07': T + 99999, '2024-03-05': T + 1000, '2024-03-04': T + 1000 });
    assert.deepEqual(await toastOf(page), ['↩️ 已恢复 4 条']);
    assert.deepEqual(await names(page), ['小明', 'Amy', '小明']);
    await context.close();
  });

  test('a blank, unique or differently cased name removes only its row, without toast or undo', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, at({
      '2024-03-04': [item('a', '  '), item('b', '独一个'), item('c', 'Xiaoming')], '2024-03-05': [item('d', ''), item('e', 'xiaoming')],
    }, '2024-03-04'));
    await page.evaluate(() => window.__vl.toast('before'));
    for (const id of ['a', 'b', 'c']) await page.click(`tr[data-id="${id}"] .del`);
    const st = await stored(page);
    assert.deepEqual([st.days['2024-03-04'], st.days['2024-03-05'].map((it) => it.id)], [[], ['d', 'e']]);
    assert.deepEqual(await toastOf(page), ['before'], 'no toast of its own');
    assert.deepEqual(st.rev, { '2024-03-04': T });
    await context.close();
  });

  test('a plain deletion inside the toast time leaves "撤销" to the first student', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, at({
      '2024-03-04': [item('a', '小明'), item('b', 'Bob')], '2024-03-05': [item('c', '小明')],
    }, '2024-03-04'));
    await page.click('tr[data-id="a"] .del');
    await page.clock.runFor(2000);
    await page.click('tr[data-id="b"] .del');
    assert.deepEqual(await toastOf(page), ['🗑️ 已删 小明 · 后面 1 天的 小明 也一起清了', '撤销']);
    await page.click('#toast .tact');
    const st = await stored(page);
    assert.deepEqual([namesOf(st.days['2024-03-04']), namesOf(st.days['2024-03-05'])], [['小明'], ['小明']]);
    assert.deepEqual(await toastOf(page), ['↩️ 已恢复 2 条']);
    await context.close();
  });
});

describe('Days', () => {
  test('前一天, 今天 and the date field show days, creating empty ones; the page reopens on the day last viewed', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, at({ '2024-03-10': [item('a', 'A')] }, '2024-03-10'));
    const steps = [
      [() => page.click('#prevDay'), '2024-03-09'],
      [() => page.fill('#date', '2024-02-29'), '2024-02-29'],
      [() => page.click('#today'), '2024-03-04'],
      [() => page.fill('#date', '2024-03-10'), '2024-03-10'],
      [() => page.fill('#date', ''), '2024-03-10'],
    ];
    for (const [act, day] of steps) {
      await act();
      const st = await stored(page);
      assert.equal(st.current, day);
      assert.ok(Array.isArray(st.days[day]));
      assert.equal(await page.textContent('#stat .chip.date'), '📅 ' + day);
    }
    assert.deepEqual(Object.keys((await stored(page)).days).sort(), ['2024-02-29', '2024-03-04', '2024-03-09', '2024-03-10']);
    await page.click('#prevDay');
    await page.reload();
    assert.equal(await page.inputValue('#date'), '2024-03-09');
    await context.close();
  });

  test('"下一天 ›" carries every name as a fresh 待定 row; a visited day is shown as it is', async () => {
    const day = '2024-03-04';
    const list = [
      item('a', '小明', { count: '3', topics: ['x', 'y', 'z'], time: '08:10', done: true, next: 'n', note: 'm' }),
      item('b', '', { count: '1', time: '改天' }),
      item('c', 'Amy', { time: '' }),
    ];
    const { page, context } = await open(h.env.browser, h.env.url, at({ [day]: list, '2024-03-06': [] }, day));
    await page.click('#nextDay');
    let st = await stored(page);
    assert.equal(st.current, '2024-03-05');
    const carried = st.days['2024-03-05'];
    assert.deepEqual(carried.map((it) => ({ ...it, id: '' })), ['小明', '', 'Amy'].map((n) => item('', n)));
    assert.equal(new Set(carried.map((it) => it.id).concat(['a', 'b', 'c'])).size, 6, 'new ids');
    assert.deepEqual(st.days[day], list, 'the day left behind is unchanged');
    assert.deepEqual(await names(page, '#rows'), ['小明', '', 'Amy']);
    await page.click('#nextDay');
    st = await stored(page);
    assert.deepEqual([st.current, st.days['2024-03-06']], ['2024-03-06', []]);
    assert.deepEqual(await names(page), []);
    await page.click('#prevDay');
    await page.click('#nextDay');
    assert.deepEqual((await stored(page)).days['2024-03-06'], [], 'nothing carried into a day that exists');
    await context.close();
  });

  test('ticking the last row jumps to the next day with confetti when the switch is on', async () => {
    const day = '2024-03-04';
    const { page, context } = await open(h.env.browser, h.env.url, at({ [day]: [item('a', '小明', { done: true }), item('b', 'Amy')] }, day));
    await page.click('tr[data-id="b"] [data-f="done"]');
    const st = await stored(page);
    assert.equal(st.current, '2024-03-05');
    assert.deepEqual(namesOf(st.days['2024-03-05']), ['小明', 'Amy']);
    assert.deepEqual(await toastOf(page), ['🎉 当天全部完成，已跳转到 2024-03-05']);
    const kinds = ['🎉', '✨', '🎊', '💖', '🌟', '🍬'];
    assert.deepEqual(await page.$$eval('.cft', (els) => els.map((e) => e.textContent)), Array.from({ length: 20 }, (_, i) => kinds[i % 6]));
    const pos = await page.$$eval('.cft', (els) => els.map((e) => [parseFloat(e.style.left), parseFloat(e.style.animationDelay)]));
    assert.ok(pos.every(([l, d]) => l >= 2 && l <= 96 && d >= 0 && d <= 0.55));
    await page.clock.runFor(2400);
    assert.equal(await page.locator('.cft').count(), 0, 'the pieces are gone after 2.4 s');
    assert.deepEqual(await names(page, '#rows'), ['小明', 'Amy']);
    await context.close();
  });

  test('with the switch off the view stays; turning it on over a finished day jumps, over an empty day not', async () => {
    const day = '2024-03-04';
    const { page, context } = await open(h.env.browser, h.env.url, at({ [day]: [item('a', '小明')], '2024-03-03': [] }, day, { settings: { autoNext: false } }));
    assert.equal(await page.isChecked('#autoNext'), false);
    await page.click('tr[data-id="a"] [data-f="done"]');
    assert.deepEqual(await toastOf(page), ['✅ 小明 已完成，挪到下面啦 👇']);
    assert.equal((await stored(page)).current, day);
    await page.click('#prevDay');
    await page.check('#autoNext');
    let st = await stored(page);
    assert.deepEqual([st.current, st.settings], ['2024-03-03', { autoNext: true }], 'an empty day does not jump');
    await page.uncheck('#autoNext');
    await page.click('#nextDay');
    assert.equal((await stored(page)).current, day);
    await page.check('#autoNext');
    st = await stored(page);
    assert.equal(st.current, '2024-03-05');
    assert.equal(await page.locator('.cft').count(), 20);
    await context.close();
  });
});

describe('Row keys', () => {
  test('Enter in a count goes to the first cell (or the next step), in a name to the next step', async () => {
    const day = '2024-03-04';
    const { page, context } = await open(h.env.browser, h.env.url, at({ [day]: [item('a', 'A', { count: '3', topics: ['p', 'q', 'r'] }), item('b', 'B')] }, day));
    const rows = [['a', 'count', 'topic0@a'], ['b', 'count', 'next@b'], ['a', 'name', 'next@a']];
    for (const [id, f, want] of rows) {
      await page.focus(`tr[data-id="${id}"] [data-f="${f}"]`);
      await page.keyboard.press('Enter');
      assert.equal(await focusedField(page), want);
    }
    assert.deepEqual(await page.evaluate(() => [document.activeElement.selectionStart, document.activeElement.selectionEnd]), [0, 0]);
    await page.focus('tr[data-id="a"] [data-f="count"]');
    await page.keyboard.press('Enter');
    assert.deepEqual(await page.evaluate(() => [document.activeElement.value, document.activeElement.selectionStart, document.activeElement.selectionEnd]), ['p', 0, 1]);
    // the Enter that ends an input-method composition (typing a Chinese name) stays in the field
    await page.focus('tr[data-id="b"] [data-f="name"]');
    await page.evaluate(() => document.activeElement.dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter', isComposing: true, bubbles: true, cancelable: true })));
    assert.equal(await focusedField(page), 'name@b');
    await context.close();
  });
});

describe('Notes editor', () => {
  const day = '2024-03-04';
  const open1 = () => open(h.env.browser, h.env.url, at({ [day]: [item('a', ' 小明 ', { note: '旧的' }), item('b', '  ')] }, day));
  const shown = (page) => page.evaluate(() => document.getElementById('zoom').classList.contains('show'));
  const noteOf = async (page, id) => (await stored(page)).days[day].find((it) => it.id === id).note;

  test('opens on a press of the note field with the name and the note; Escape keeps what was typed', async () => {
    const { page, context } = await open1();
    await page.click('tr[data-id="a"] [data-f="note"]');
    assert.equal(await shown(page), true);
    assert.equal(await page.textContent('#ztitle'), '💬 备注 · 小明');
    assert.equal(await page.inputValue('#ztext'), '旧的');
    await page.clock.runFor(40);
    assert.deepEqual(await page.evaluate(() => [document.activeElement.id, ztext.selectionStart]), ['ztext', 2]);
    assert.equal(await page.$eval('#zoom .zcard', (e) => e.offsetWidth), 560);
    await page.keyboard.type('，第二行\n第三行');
    await page.keyboard.press('Escape');
    assert.equal(await shown(page), false);
    assert.equal(await noteOf(page, 'a'), '旧的，第二行\n第三行');
    assert.equal(await page.getAttribute('tr[data-id="a"] [data-f="note"]', 'title'), '旧的，第二行\n第三行');
    assert.deepEqual(await toastOf(page), ['💬 备注已保存']);
    await context.close();
  });

  test('"取消" discards; "保存 💾", Ctrl+Enter and a press on the backdrop keep', async () => {
    const { page, context } = await open1();
    const ways = [
      ['cancel', () => page.click('[data-z="cancel"]'), '旧的'],
      ['save', () => page.click('[data-z="save"]'), '旧的1'],
      ['ctrl+enter', () => page.keyboard.press('Control+Enter'), '旧的12'],
      ['backdrop', () => page.mouse.click(5, 5), '旧的123'],
    ];
    for (const [i, [how, close, want]] of ways.entries()) {
      await page.evaluate(() => window.__vl.toast('-'));
      await page.focus('tr[data-id="a"] [data-f="note"]');
      await page.keyboard.press('Enter');
      await page.clock.runFor(40);
      await page.keyboard.type(String(i));
      await close();
      assert.equal(await shown(page), false, how);
      assert.equal(await noteOf(page, 'a'), want, how);
      assert.deepEqual(await toastOf(page), how === 'cancel' ? ['-'] : ['💬 备注已保存'], how);
    }
    await page.click('tr[data-id="b"] [data-f="note"]');
    assert.equal(await page.textContent('#ztitle'), '💬 备注 · 未命名');
    await page.click('#zoom .zcard .zsub');
    assert.equal(await shown(page), true, 'a press on the card itself does not close');
    await page.fill('#ztext', '');
    await page.click('[data-z="save"]');
    assert.equal(await page.getAttribute('tr[data-id="b"] [data-f="note"]', 'title'), '点一下放大编辑');
    await context.close();
  });

  test('the note of a row that vanished meanwhile is not stored', async () => {
    const { page, context } = await open1();
    await page.click('tr[data-id="a"] [data-f="note"]');
    await page.evaluate(() => { const st = window.__vl.getState(); st.days[st.current] = st.days[st.current].filter((it) => it.id !== 'a'); });
    await page.fill('#ztext', 'lost');
    await page.click('[data-z="save"]');
    assert.equal(await shown(page), false);
    assert.equal(JSON.stringify(await stored(page)).includes('lost'), false);
    await context.close();
  });
});

describe('Time zones', () => {
  // 2024-03-09 17:30 UTC is the 10th in Shanghai and the 9th in Los Angeles, a few hours before
  // Los Angeles moves its clocks on (2024-03-10 02:00).
  const instant = new Date('2024-03-09T17:30:00Z');
  const rows = [
    // [zone, today, three times 下一天, four times 前一天 back]
    ['Asia/Shanghai', '2024-03-10', ['2024-03-11', '2024-03-12', '2024-03-13'], '2024-03-09'],
    ['America/Los_Angeles', '2024-03-09', ['2024-03-10', '2024-03-11', '2024-03-12'], '2024-03-08'],
  ];
  for (const [zone, today, forward, back] of rows) {
    test(`the day rules hold in ${zone}`, async () => {
      const { page, context } = await open(h.env.browser, h.env.url, { timezoneId: zone, clock: instant, acceptDownloads: true });
      assert.equal((await stored(page)).current, today);
      const seen = [];
      for (let i = 0; i < 3; i++) {
        await page.click('#nextDay');
        seen.push((await stored(page)).current);
      }
      assert.deepEqual(seen, forward);
      for (let i = 0; i < 4; i++) await page.click('#prevDay');
      assert.equal((await stored(page)).current, back);
      // 17 hours later: 03:30 summer time in Los Angeles, 18:30 in Shanghai, both on the 10th
      await page.clock.runFor(17 * 3600 * 1000);
      await page.click('#today');
      assert.equal((await stored(page)).current, '2024-03-10');
      const [download] = await Promise.all([page.waitForEvent('download'), page.click('#export')]);
      assert.equal(download.suggestedFilename(), 'Vellora备份_2024-03-10.json');
      await context.close();
    });
  }
});
