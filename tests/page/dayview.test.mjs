// The day view in the served page: order, status bar and title, editing, search, hide-done, narrow cards.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { colorOf } from '../../page/lib/items.js';
import { item, open, setup, stateOf, stored } from './harness.mjs';

const h = setup();
before(h.before);
after(h.after);

const DAY = '2024-03-04';
const withDay = (list, extra = {}) => ({ storage: { 'homework-planner-v5': stateOf({ [DAY]: list }, DAY, extra) }, clock: new Date('2024-03-04T09:00:00') });
const names = (page, tbody = '#lists') => page.$$eval(`${tbody} tr[data-id] [data-f="name"]`, (els) => els.map((e) => e.value));
const toastText = (page) => page.evaluate(() => (document.getElementById('toast').classList.contains('show') ? document.querySelector('#toast span').textContent : ''));
const bar = (page) => page.evaluate(() => ({
  chips: [...document.querySelectorAll('#stat .chip')].map((c) => c.className + ' ' + c.textContent),
  pct: document.getElementById('progTxt').textContent,
  width: document.getElementById('progFill').style.width,
  emoji: document.getElementById('progEmoji').textContent,
  title: document.title,
}));

describe('Order and status', () => {
  test('rows show in time order: concrete times, 待定, 明天, 改天, then no time', async () => {
    const times = ['09:30', '待定', '', '08:10', '改天', '明天', '待定'];
    const { page, context } = await open(h.env.browser, h.env.url, withDay(times.map((t, i) => item('r' + i, 'n' + i, { time: t }))));
    assert.deepEqual(await names(page), ['n3', 'n0', 'n1', 'n6', 'n5', 'n4', 'n2']);
    const buttons = await page.$$eval('#rows [data-f="time"]', (els) => els.map((e) => [e.className, e.textContent, e.dataset.id]));
    assert.deepEqual(buttons, [
      ['tpick', '⏰ 08:10', 'r3'], ['tpick', '⏰ 09:30', 'r0'], ['tpick w1', '⏳ 待定', 'r1'], ['tpick w1', '⏳ 待定', 'r6'],
      ['tpick w2', '🌙 明天', 'r5'], ['tpick w3', '📅 改天', 'r4'], ['tpick empty', '选时刻', 'r2'],
    ]);
    assert.deepEqual(await page.$$eval('#rows td.idx', (els) => els.map((e) => e.textContent)), ['1', '2', '3', '4', '5', '6', '7']);
    assert.deepEqual(await page.$$eval('#rows .tomo', (els) => els.map((e) => e.textContent + e.title)), Array(7).fill('明天 ›移到明天'));
    await context.close();
  });

  test('the status bar and the title follow the day; the desktop badge gets the pending count', async () => {
    const list = [item('a', '甲', { count: '3' }), item('b', '乙', { count: '15', done: true }), item('c', '丙', { count: 'x' })];
    const { page, context } = await open(h.env.browser, h.env.url, withDay(list, { settings: { autoNext: false } }));
    await page.evaluate(() => {
      window.badges = [];
      window.webkit = { messageHandlers: { vlraBadge: { postMessage: (m) => window.badges.push(m) } } };
    });
    assert.deepEqual(await bar(page), {
      chips: ['chip date 📅 2024-03-04', 'chip 👥 共 3 人', 'chip 📝 共 15 题', 'chip ok ✅ 1', 'chip wait ⏳ 2'],
      pct: '33%', width: '33%', emoji: '🌿', title: '📝 Vellora · 待批改 2',
    });
    assert.deepEqual(await page.$$eval('#stat b', (els) => els.map((e) => e.textContent)), ['3', '15', '1', '2']);
    const steps = [
      // [row to click, pct, emoji, done chip, wait chip, title]
      ['a', '67%', '🌸', '✅ 2', '⏳ 1', '📝 Vellora · 待批改 1'],
      ['c', '100%', '🎉', '✅ 3', '⏳ 0', '📝 Vellora · 全部完成'],
      ['b', '67%', '🌸', '✅ 2', '⏳ 1', '📝 Vellora · 待批改 1'],
    ];
    for (const [id, pct, emoji, ok, wait, title] of steps) {
      await page.click(`tr[data-id="${id}"] [data-f="done"]`);
      const b = await bar(page);
      assert.deepEqual([b.pct, b.emoji, b.chips[3], b.chips[4], b.title], [pct, emoji, 'chip ok ' + ok, 'chip wait ' + wait, title]);
    }
    assert.deepEqual(await page.evaluate(() => window.badges.map((m) => JSON.stringify(m))), ['{"n":1}', '{"n":0}', '{"n":1}']);
    assert.equal((await stored(page)).current, DAY, 'the automatic next day is off');
    await page.evaluate(() => { window.webkit.messageHandlers.vlraBadge.postMessage = () => { throw new Error('host gone'); }; });
    await page.click('tr[data-id="a"] [data-f="done"]');
    assert.equal(await page.title(), '📝 Vellora · 待批改 2', 'a failing badge message leaves the title right');
    await context.close();
  });

  test('an empty day and a day of 200 rows with one pending', async () => {
    const empty = await open(h.env.browser, h.env.url, withDay([]));
    assert.deepEqual(await bar(empty.page), {
      chips: ['chip date 📅 2024-03-04', 'chip 👥 共 0 人', 'chip 📝 共 0 题', 'chip ok ✅ 0', 'chip wait ⏳ 0'],
      pct: '0%', width: '0%', emoji: '🐣', title: '📝 Vellora · 全部完成',
    });
    assert.equal(await empty.page.textContent('#empty'), '🐣这一天还没有排期～点「＋ 新建作业」手动添加，或点「下一天 ›」把学生姓名带过来。');
    assert.equal(await empty.page.isVisible('#cardDone'), false);
    await empty.context.close();
    const big = await open(h.env.browser, h.env.url, withDay(Array.from({ length: 200 }, (_, i) => item('r' + i, 's' + i, { done: i > 0 }))));
    const b = await bar(big.page);
    assert.deepEqual([b.pct, b.emoji, b.title], ['100%', '🎉', '📝 Vellora · 待批改 1']);
    await big.context.close();
  });
});

describe('Editing', () => {
  test('every keystroke is saved without redrawing; the avatar follows the name', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, withDay([item('a', '小明', { count: '1', topics: ['x'] })]));
    await page.evaluate(() => { document.querySelector('tr[data-id="a"]').marked = true; });
    const steps = [['name', ' 王五'], ['next', '讲第3题'], ['topic', 'P5']];
    for (const [f, text] of steps) {
      await page.fill(`tr[data-id="a"] [data-f="${f}"]`, '');
      await page.type(`tr[data-id="a"] [data-f="${f}"]`, text);
    }
    assert.deepEqual((await stored(page)).days[DAY][0], item('a', ' 王五', { count: '1', topics: ['P5'], next: '讲第3题' }));
    assert.equal(await page.evaluate(() => document.querySelector('tr[data-id="a"]').marked), true, 'the row was not redrawn');
    const ava = await page.$eval('tr[data-id="a"] .ava', (e) => [e.textContent, e.style.background]);
    const rgb = (hex) => `rgb(${[1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16)).join(', ')})`;
    assert.deepEqual(ava, ['王', rgb(colorOf(' 王五'))], 'initial of the trimmed name, colour of the name as stored');
    await context.close();
  });

  test('typing a count grows the cells and keeps the focus, then jumps to the first cell after 420 ms', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, withDay([item('a', '小明')]));
    const count = 'tr[data-id="a"] [data-f="count"]';
    const focused = () => page.evaluate(() => { const e = document.activeElement; return e.dataset.f + (e.dataset.i || '') + ':' + e.selectionStart + '-' + e.selectionEnd; });
    await page.click(count);
    await page.keyboard.type('1');
    assert.equal(await page.locator('tr[data-id="a"] .tcell').count(), 1);
    await page.clock.runFor(300);
    await page.keyboard.type('2');
    await page.clock.runFor(300);
    assert.equal(await focused(), 'count:2-2', 'the second digit restarted the wait');
    assert.equal(await page.locator('tr[data-id="a"] .tcell').count(), 12);
    assert.deepEqual(await page.$$eval('tr[data-id="a"] .tno', (els) => [els[0].textContent, els[11].textContent]), ['①', '⑫']);
    assert.equal(await page.getAttribute('tr[data-id="a"] [data-i="11"]', 'placeholder'), '第12题');
    await page.clock.runFor(120);
    assert.equal(await focused(), 'topic0:0-0');
    await page.keyboard.type('old');
    await page.click(count);
    await page.clock.runFor(500);
    assert.equal((await focused()).split(':')[0], 'count', 'no jump without typing');
    await page.keyboard.press('End');
    await page.keyboard.type('3');
    await page.clock.runFor(420);
    assert.equal(await focused(), 'topic0:0-3', 'focus on the first cell, its text selected');
    assert.equal(await toastText(page), '最多显示 12 个题目格哦');
    assert.equal((await stored(page)).days[DAY][0].count, '123');

    await page.click(count);
    await page.keyboard.type('5');
    await page.click('tr[data-id="a"] [data-f="next"]');
    await page.clock.runFor(500);
    assert.equal((await focused()).split(':')[0], 'next', 'no jump once the count field lost the focus');
    await context.close();
  });

  test('lowering a count and saving cuts the topics; raising it shows empty cells', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, withDay([item('a', '小明', { count: '5', topics: ['a', 'b', 'c', 'd', 'e'] })]));
    await page.fill('tr[data-id="a"] [data-f="count"]', '3');
    assert.deepEqual((await stored(page)).days[DAY][0].topics, ['a', 'b', 'c']);
    await page.fill('tr[data-id="a"] [data-f="count"]', '5');
    assert.deepEqual(await page.$$eval('tr[data-id="a"] .tcell', (els) => els.map((e) => e.value)), ['a', 'b', 'c', '', '']);
    await page.fill('tr[data-id="a"] [data-f="count"]', '');
    assert.deepEqual((await stored(page)).days[DAY][0].topics, []);
    assert.equal(await page.textContent('tr[data-id="a"] td.topics'), '填了数量就长出格子 ✍️');
    await context.close();
  });

  test('ticking done moves the row down with a toast; a name holding markup stays text', async () => {
    const evil = '<img src=x onerror="window.hit=1">"&';
    const { page, context } = await open(h.env.browser, h.env.url, withDay([
      item('a', evil, { note: '"quoted" <b>note</b>', next: '</td><b>x', topics: ['<i>t</i>'], count: '1' }), item('b', '  '), item('c', '小明'),
    ], { settings: { autoNext: false } }));
    assert.equal(await page.inputValue('tr[data-id="a"] [data-f="name"]'), evil);
    assert.equal(await page.getAttribute('tr[data-id="a"] [data-f="note"]', 'title'), '"quoted" <b>note</b>');
    assert.equal(await page.inputValue('tr[data-id="a"] [data-f="next"]'), '</td><b>x');
    assert.equal(await page.textContent('tr[data-id="a"] .ava'), '<');
    assert.equal(await page.evaluate(() => document.querySelectorAll('#lists img, #lists td b, #lists td i').length), 0);
    assert.equal(await page.evaluate(() => window.hit), undefined);
    for (const [id, said] of [['a', `✅ ${evil} 已完成，挪到下面啦 👇`], ['b', '✅ 这位同学 已完成，挪到下面啦 👇']]) {
      await page.click(`tr[data-id="${id}"] [data-f="done"]`);
      assert.equal(await toastText(page), said);
    }
    assert.deepEqual(await names(page, '#rows'), ['小明']);
    assert.deepEqual(await names(page, '#rowsDone'), [evil, '  ']);
    assert.deepEqual(await page.$$eval('#rowsDone tr', (els) => els.map((e) => e.className)), ['finished', 'finished']);
    assert.deepEqual([await page.textContent('#cntWait'), await page.textContent('#cntDone')], ['1', '2']);
    await context.close();
  });
});

describe('Search, hide-done and folding', () => {
  const list = [item('a', '小张'), item('b', '张三', { done: true }), item('c', 'Amy'), item('d', '李四')];

  test('search keeps matching names, case-sensitive; the chips still count the whole day', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, withDay(list));
    const rows = [['张', ['小张'], ['张三']], [' 张 ', ['小张'], ['张三']], ['amy', [], []], ['Am', ['Amy'], []], ['', ['小张', 'Amy', '李四'], ['张三']]];
    for (const [q, wait, done] of rows) {
      await page.fill('#search', q);
      assert.deepEqual([await names(page, '#rows'), await names(page, '#rowsDone')], [wait, done], q);
      assert.equal(await page.isVisible('#cardDone'), done.length > 0);
    }
    await page.fill('#search', 'nobody');
    assert.equal(await page.textContent('#empty'), '🐣这一天还没有排期～点「＋ 新建作业」手动添加，或点「下一天 ›」把学生姓名带过来。');
    assert.equal((await bar(page)).chips[1], 'chip 👥 共 4 人');
    await context.close();
  });

  test('hide-done hides the done card; with every row done the empty state celebrates', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, withDay(list.map((it) => ({ ...it, done: true })), { settings: { autoNext: false } }));
    assert.equal(await page.textContent('#empty'), '🎉今天全部批改完啦！完成的学生都在下面「✅ 已完成」那一框里～');
    assert.equal(await page.isVisible('#cardDone'), true);
    await page.check('#hideDone');
    assert.equal(await page.isVisible('#cardDone'), false);
    assert.equal(await page.textContent('#empty'), '🎉今天全部批改完啦！完成的学生都在下面「✅ 已完成」那一框里～');
    await page.uncheck('#hideDone');
    assert.equal(await page.isVisible('#cardDone'), true);
    await context.close();
  });

  test('the done card folds and unfolds, and stays folded through redraws', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, withDay(list));
    assert.equal(await page.textContent('#foldIcon'), '收起 ▴');
    await page.click('#doneHd');
    assert.deepEqual([await page.textContent('#foldIcon'), await page.isVisible('#rowsDone tr')], ['展开 ▾', false]);
    await page.fill('#search', '张');
    assert.equal(await page.isVisible('#rowsDone tr'), false);
    await page.focus('#doneHd');
    await page.keyboard.press('Enter');
    assert.deepEqual([await page.textContent('#foldIcon'), await page.isVisible('#rowsDone tr')], ['收起 ▴', true]);
    await context.close();
  });
});

describe('Narrow screens', () => {
  test('a 390-px-wide window turns rows into cards without sideways scrolling', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, { ...withDay([item('a', '小明', { count: '2' }), item('b', 'Amy')]), viewport: { width: 390, height: 844 } });
    const look = await page.evaluate(() => {
      const tr = document.querySelector('#rows tr');
      const cs = (sel) => getComputedStyle(tr.querySelector(sel));
      return {
        head: getComputedStyle(document.querySelector('#cardWait thead')).display,
        row: [getComputedStyle(tr).display, getComputedStyle(tr).borderTopLeftRadius],
        idx: cs('td.idx').display,
        leads: ['td.count', 'td.next', 'td.note'].map((s) => getComputedStyle(tr.querySelector(s), '::before').content),
        field: cs('[data-f="name"]').fontSize,
        sub: getComputedStyle(document.querySelector('.sub')).display,
        scroll: document.documentElement.scrollWidth,
      };
    });
    assert.deepEqual(look, {
      head: 'none', row: ['grid', '15px'], idx: 'none', leads: ['"📚"', '"🌱"', '"💬"'], field: '16px', sub: 'none', scroll: 390,
    });
    const box = (sel) => page.locator(`#rows tr[data-id="a"] ${sel}`).boundingBox();
    const [name, ops, time, fin, count, next] = await Promise.all(['td.name', 'td.ops', 'td.time', 'td.fin', 'td.count', 'td.next'].map(box));
    assert.ok(Math.abs(name.y - ops.y) < 12 && ops.x > name.x, 'name and row buttons share the first line');
    assert.ok(time.y > name.y + 20 && Math.abs(time.y - fin.y) < 12 && fin.x > time.x, 'time and done box on the second line');
    assert.ok(count.y > time.y && next.y > count.y && count.width > 300, 'count and next step on full lines');
    await context.close();
  });
});
