// The time picker and moving rows in the served page: the slot list and its marks, placement, the
// narrow sheet, the choices, closing, the keyboard, and moves to other days with their undo.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { item, open, setup, stateOf, stored } from './harness.mjs';

const h = setup();
before(h.before);
after(h.after);

const NOW = new Date('2024-03-04T09:00:00Z');
const T = NOW.getTime();
const DAY = '2024-03-04';
const at = (days, current = DAY, extra = {}, ctx = {}) =>
  ({ storage: { 'homework-planner-v5': stateOf(days, current, extra) }, clock: NOW, timezoneId: 'UTC', ...ctx });
const timeBtn = (id) => `tr[data-id="${id}"] [data-f="time"]`;
const shown = (page) => page.evaluate(() => document.getElementById('tpick').classList.contains('show'));
const marks = (page) => page.$$eval('#tpick .on', (els) => els.map((e) => e.textContent));
const toastOf = (page) => page.evaluate(() => {
  const t = document.getElementById('toast');
  return t.classList.contains('show') ? [t.querySelector('span').textContent, ...[...t.querySelectorAll('.tact')].map((b) => b.textContent)] : [];
});
const ids = (list) => (list || []).map((it) => it.id);
// The row buttons rise a little under the pointer (a short transition), so positions measured
// around a click may differ by a fraction of a pixel.
const near = (a, b, what) => assert.ok(Math.abs(a - b) <= 2, `${what}: ${a} is not near ${b}`);
const focused = (page) => page.evaluate(() => document.activeElement.textContent);

describe('Time list', () => {
  test('114 slots under 19 hour headings, the quick row and the clear button; the mark scrolls to the middle', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, at({ [DAY]: [item('a', 'A', { time: '08:07' })] }));
    assert.equal(await page.textContent(timeBtn('a')), '⏰ 08:10', 'the stored 08:07 was put on the grid');
    await page.click(timeBtn('a'));
    const list = await page.evaluate(() => {
      const p = document.getElementById('tpick');
      const grid = p.querySelector('.grid');
      return {
        title: p.querySelector('.ttl').textContent,
        quick: [...p.querySelectorAll('.quick .slot')].map((e) => e.textContent),
        lines: [...grid.children].map((e) => (e.className === 'hourhd' ? '|' : '') + e.textContent),
        cols: getComputedStyle(grid).gridTemplateColumns.split(' ').length,
        width: p.getBoundingClientRect().width,
        z: getComputedStyle(p).zIndex,
      };
    });
    const want = [];
    for (let hr = 5; hr <= 23; hr++) {
      const hh = String(hr).padStart(2, '0');
      want.push(`|${hh} 时`, ...['00', '10', '20', '30', '40', '50'].map((m) => `${hh}:${m}`));
    }
    want.push('清除时刻');
    assert.deepEqual(list, { title: '⏰ 选时刻（10 分钟一档）', quick: ['⏳ 待定', '🌙 明天', '📅 改天'], lines: want, cols: 6, width: 344, z: '95' });
    assert.equal(want.filter((x) => x.includes(':')).length, 114);
    assert.deepEqual(await marks(page), ['08:10']);
    const middle = await page.evaluate(() => {
      const grid = document.querySelector('#tpick .grid');
      const g = grid.getBoundingClientRect();
      const b = grid.querySelector('.on').getBoundingClientRect();
      return [grid.scrollTop > 0, Math.abs(b.top + b.height / 2 - (g.top + grid.clientHeight / 2)), g.height];
    });
    assert.ok(middle[0] && middle[1] <= 2, `the marked slot sits in the middle of the grid: ${middle}`);
    assert.ok(middle[2] <= 274);
    await context.close();
  });

  test('marks: 待定 marks the quick button; 明天, 改天 and a time before 05:00 mark nothing', async () => {
    const rows = [['待定', ['⏳ 待定']], ['明天', []], ['改天', []], ['04:30', []], ['', []], ['23:50', ['23:50']]];
    const { page, context } = await open(h.env.browser, h.env.url, at({ [DAY]: rows.map(([t], i) => item('r' + i, 'n' + i, { time: t })) }));
    for (const [i, [t, want]] of rows.entries()) {
      await page.keyboard.press('Escape'); // the open panel covers the rows under its button
      await page.click(timeBtn('r' + i));
      assert.deepEqual(await marks(page), want, t);
      if (!want.length) assert.equal(await page.$eval('#tpick .grid', (g) => g.scrollTop), 0, `${t}: the grid stays at its top`);
    }
    // choosing 05:00 replaces the older 04:30
    await page.keyboard.press('Escape');
    await page.click(timeBtn('r3'));
    await page.click('#tpick .slot >> text=05:00');
    assert.equal((await stored(page)).days[DAY].find((it) => it.id === 'r3').time, '05:00');
    await context.close();
  });

  test('choices: a slot, 待定 and 清除时刻 set the time, save, close and redraw in order', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, at({ [DAY]: [item('a', 'A', { time: '' }), item('b', 'B', { time: '12:00' })] }));
    const steps = [['a', '07:30', '07:30', ['A', 'B']], ['b', '⏳ 待定', '待定', ['A', 'B']], ['a', '清除时刻', '', ['B', 'A']], ['b', '06:00', '06:00', ['B', 'A']]];
    for (const [id, choice, time, order] of steps) {
      await page.click(timeBtn(id));
      await page.click(`#tpick button >> text="${choice}"`);
      const st = await stored(page);
      assert.equal(st.days[DAY].find((it) => it.id === id).time, time, choice);
      assert.equal(await shown(page), false);
      assert.deepEqual(await page.$$eval('#rows [data-f="name"]', (els) => els.map((e) => e.value)), order, choice);
      assert.equal(st.rev, undefined, 'a time choice writes no rev');
    }
    await context.close();
  });

  test('closes on a click outside, a redraw and a resize; another row\'s button moves it there', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, at({ [DAY]: [item('a', 'A', { time: '08:00' }), item('b', 'B', { time: '20:00' })] }));
    await page.click(timeBtn('b'));
    await page.click('#tpick .ttl'); // inside the panel
    assert.equal(await shown(page), true);
    await page.click(timeBtn('b')); // again on the same button: built again, still open
    assert.deepEqual([await shown(page), await marks(page)], [true, ['20:00']]);
    await page.click(timeBtn('a')); // the row above, which the panel does not cover
    assert.deepEqual([await shown(page), await marks(page)], [true, ['08:00']]);
    const [btn, panel] = await page.evaluate(() => [document.querySelector('tr[data-id="a"] [data-f="time"]'), document.getElementById('tpick')].map((e) => e.getBoundingClientRect()));
    near(panel.top, btn.bottom + 6, 'placed at the other button');
    await page.click('h1');
    assert.equal(await shown(page), false, 'a click outside');
    await page.click(timeBtn('a'));
    await page.fill('#search', 'A');
    assert.equal(await shown(page), false, 'a redraw');
    await page.click(timeBtn('a'));
    await page.setViewportSize({ width: 1300, height: 880 });
    await page.waitForFunction(() => !document.getElementById('tpick').classList.contains('show'));
    await context.close();
  });

  test('placement: under the button, above it near the window\'s bottom, 10 px from the right edge', async () => {
    const list = Array.from({ length: 14 }, (_, i) => item('r' + i, 'n' + i, { time: '待定' }));
    const geometry = (page, id) => page.evaluate((sel) => {
      const b = document.querySelector(sel).getBoundingClientRect();
      const p = document.getElementById('tpick').getBoundingClientRect();
      return { btnTop: b.top, btnBottom: b.bottom, btnLeft: b.left, top: p.top, bottom: p.bottom, left: p.left, right: innerWidth - p.right, vh: innerHeight };
    }, timeBtn(id));
    const { page, context } = await open(h.env.browser, h.env.url, at({ [DAY]: list }, DAY, {}, { viewport: { width: 1360, height: 700 } }));
    await page.click(timeBtn('r0'));
    let g = await geometry(page, 'r0');
    near(g.top, g.btnBottom + 6, 'under the button');
    near(g.left, g.btnLeft, 'at its left edge');

    await page.$eval(timeBtn('r13'), (b) => b.scrollIntoView({ block: 'end' }));
    await page.click(timeBtn('r13'));
    g = await geometry(page, 'r13');
    assert.ok(g.btnBottom + 6 + (g.bottom - g.top) > g.vh - 6, 'no room under the button');
    near(g.bottom, g.btnTop - 6, 'above the button');
    await context.close();

    // a window just wide enough for the table layout: the button lies within a panel's width of the edge
    const narrow = await open(h.env.browser, h.env.url, at({ [DAY]: list }, DAY, {}, { viewport: { width: 824, height: 900 } }));
    await narrow.page.$eval('#cardWait .tblwrap', (w) => (w.scrollLeft = 0));
    await narrow.page.click(timeBtn('r0'));
    g = await geometry(narrow.page, 'r0');
    assert.ok(g.btnLeft > 824 - 344 - 10, `the button at ${g.btnLeft} is near the right edge`);
    assert.equal(g.right, 10);
    near(g.top, g.btnBottom + 6, 'under the button');
    await narrow.context.close();
  });

  test('a narrow window shows the panel as a bottom sheet, scrolled to its top', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, at({ [DAY]: [item('a', 'A', { time: '21:00' })] }, DAY, {}, { viewport: { width: 390, height: 760 } }));
    await page.click(timeBtn('a'));
    const s = await page.evaluate(() => {
      const p = document.getElementById('tpick');
      const r = p.getBoundingClientRect();
      const grid = p.querySelector('.grid');
      return { left: r.left, right: innerWidth - r.right, bottom: innerHeight - r.bottom, high: r.height <= 0.64 * innerHeight + 0.5, scrolls: p.scrollHeight > p.clientHeight, top: p.scrollTop, gridLimit: getComputedStyle(grid).maxHeight };
    });
    assert.deepEqual(s, { left: 8, right: 8, bottom: 8, high: true, scrolls: true, top: 0, gridLimit: 'none' });
    assert.deepEqual(await marks(page), ['21:00']);
    await context.close();
  });

  test('keyboard: Enter opens, arrows move between slots, Enter chooses, Escape closes back to the button', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, at({ [DAY]: [item('a', 'A', { time: '08:10' })] }));
    await page.focus(timeBtn('a'));
    await page.keyboard.press('Enter');
    assert.equal(await shown(page), true);
    assert.equal(await focused(page), '08:10');
    const walk = [['ArrowDown', '09:10'], ['ArrowRight', '09:20'], ['ArrowUp', '08:20'], ['ArrowLeft', '08:10'], ['ArrowLeft', '08:00'], ['ArrowLeft', '07:50']];
    for (const [key, want] of walk) {
      await page.keyboard.press(key);
      assert.equal(await focused(page), want, key);
    }
    for (let i = 0; i < 2; i++) await page.keyboard.press('ArrowUp');
    assert.equal(await focused(page), '05:50');
    await page.keyboard.press('ArrowUp');
    assert.equal(await focused(page), '📅 改天', 'up from the first line reaches the quick row');
    await page.keyboard.press('ArrowLeft');
    await page.keyboard.press('ArrowDown');
    assert.equal(await focused(page), '05:20');
    await page.keyboard.press('ArrowUp');
    assert.equal(await focused(page), '🌙 明天');
    await page.keyboard.press('ArrowDown');
    await page.keyboard.press('Enter');
    assert.equal((await stored(page)).days[DAY][0].time, '05:20');
    assert.equal(await shown(page), false);
    assert.equal(await page.evaluate(() => document.activeElement.matches('tr[data-id="a"] [data-f="time"]')), true);

    await page.keyboard.press('Enter');
    assert.equal(await focused(page), '05:20');
    await page.keyboard.press('Escape');
    assert.equal(await shown(page), false);
    assert.equal(await page.evaluate(() => document.activeElement.matches('tr[data-id="a"] [data-f="time"]')), true);
    assert.equal((await stored(page)).days[DAY][0].time, '05:20');
    await context.close();
  });
});

describe('Moving', () => {
  test('"明天 ›" moves a done row with a time: an undone copy with a new id at the end of tomorrow', async () => {
    const row = item('a', '小明', { count: '2', time: '14:20', done: true, topics: ['p1', 'p2'], next: 'n', note: 'line1\nline2' });
    const { page, context, errors } = await open(h.env.browser, h.env.url, at({
      [DAY]: [item('z', 'Z'), row], '2024-03-05': [item('x', 'X')],
    }, DAY, { rev: { '2024-03-04': T + 5000, '2024-03-05': T + 5000 } }));
    await page.click('tr[data-id="a"] .tomo');
    const st = await stored(page);
    assert.deepEqual(ids(st.days[DAY]), ['z']);
    const copy = st.days['2024-03-05'][1];
    assert.deepEqual(ids(st.days['2024-03-05']).slice(0, 1), ['x']);
    assert.deepEqual({ ...copy, id: '' }, { ...row, id: '', done: false });
    assert.match(copy.id, /^[0-9a-z]{9,}$/);
    assert.notEqual(copy.id, 'a');
    assert.deepEqual(st.rev, { [DAY]: T, '2024-03-05': T + 5000 }, 'the day left gets t; the target keeps its later time');
    assert.equal(st.current, DAY);
    assert.deepEqual(await toastOf(page), ['🗓️ 小明 已挪到 2024-03-05', '去看看 ›', '撤销']);
    assert.equal(await page.locator('tr[data-id="a"]').count(), 0, 'the row left the view');

    await page.click('#toast .tact >> text=去看看 ›');
    assert.equal((await stored(page)).current, '2024-03-05');
    assert.deepEqual(await page.$$eval('#lists [data-f="name"]', (els) => els.map((e) => e.value)), ['小明', 'X']);
    assert.deepEqual(errors, []);
    await context.close();
  });

  test('from the panel: wait marks arrive as 待定, no time stays empty, +1 周 crosses the year, the day on view moves nothing', async () => {
    const cur = '2024-12-28';
    const days = { [cur]: [item('g', '', { time: '改天' }), item('m', 'M', { time: '明天' }), item('e', 'E', { time: '' }), item('w', 'W', { time: '09:00' }), item('s', 'S', { time: '待定' })] };
    const { page, context } = await open(h.env.browser, h.env.url, at(days, cur));
    const copyOf = async (day) => (await stored(page)).days[day].at(-1);

    await page.click(timeBtn('g'));
    await page.click('#tpick >> text=📅 改天');
    assert.equal(await shown(page), true, 'the move panel replaced the time list');
    const panel = await page.evaluate(() => ({
      title: document.querySelector('#tpick .ttl').textContent,
      date: document.querySelector('#tpick .mvdate').value,
      focused: document.activeElement.className,
      buttons: [...document.querySelectorAll('#tpick button')].map((b) => b.textContent),
    }));
    assert.deepEqual(panel, { title: '📅 挪到哪一天？', date: '2024-12-29', focused: 'mvdate', buttons: ['挪过去 ›', '+2 天', '+3 天', '+1 周', '← 返回选时刻'] });
    await page.click('#tpick >> text=+1 周');
    assert.deepEqual([(await copyOf('2025-01-04')).time, (await copyOf('2025-01-04')).name], ['待定', '']);
    assert.deepEqual(await toastOf(page), ['🗓️ 这一条 已挪到 2025-01-04', '去看看 ›', '撤销']);
    assert.equal(await shown(page), false);

    await page.click(timeBtn('m'));
    await page.click('#tpick >> text=🌙 明天');
    assert.equal((await copyOf('2024-12-29')).time, '待定');

    await page.click(timeBtn('e'));
    await page.click('#tpick >> text=📅 改天');
    await page.click('#tpick >> text=+3 天');
    assert.equal((await copyOf('2024-12-31')).time, '');

    // 挪过去 without a date keeps the panel; with the day on view it moves nothing and closes
    await page.click(timeBtn('w'));
    await page.click('#tpick >> text=📅 改天');
    await page.fill('#tpick .mvdate', '');
    await page.click('#mvGo');
    assert.deepEqual([await shown(page), (await toastOf(page))[0]], [true, '先挑个日期～']);
    await page.fill('#tpick .mvdate', cur);
    const before = await stored(page);
    await page.click('#mvGo');
    assert.deepEqual(await stored(page), before);
    assert.equal(await shown(page), false);

    // ← 返回选时刻 goes back to the time list; a chosen date moves there
    await page.click(timeBtn('s'));
    await page.click('#tpick >> text=📅 改天');
    await page.click('#mvBack');
    assert.deepEqual([await shown(page), await marks(page)], [true, ['⏳ 待定']]);
    await page.click('#tpick >> text=📅 改天');
    await page.fill('#tpick .mvdate', '2025-02-01');
    await page.press('#tpick .mvdate', 'Enter');
    const st = await stored(page);
    assert.deepEqual(ids(st.days[cur]), ['w']);
    assert.deepEqual([st.days['2025-02-01'][0].name, st.days['2025-02-01'][0].time], ['S', '待定']);
    await context.close();
  });

  test('撤销 puts the copy back at its former place, not done, and takes it off the target day', async () => {
    const days = { [DAY]: [item('a', 'A'), item('b', 'B', { time: '明天', done: true }), item('c', 'C')] };
    const { page, context } = await open(h.env.browser, h.env.url, at(days, DAY, { rev: { '2024-03-06': T + 5000 } }));
    await page.click(timeBtn('b'));
    await page.click('#tpick >> text=📅 改天');
    await page.click('#tpick >> text=+2 天');
    const copy = (await stored(page)).days['2024-03-06'][0];
    await page.clock.runFor(1000);
    await page.click('#toast .tact >> text=撤销');
    const st = await stored(page);
    assert.deepEqual(st.days[DAY], [item('a', 'A'), { ...copy, done: false, time: '待定' }, item('c', 'C')]);
    assert.notEqual(copy.id, 'b');
    assert.deepEqual(st.days['2024-03-06'], []);
    assert.deepEqual(st.rev, { [DAY]: T + 1000, '2024-03-06': T + 5000 });
    assert.equal(st.current, DAY);
    assert.deepEqual(await toastOf(page), ['↩️ 已放回 2024-03-04']);
    assert.deepEqual(await page.$$eval('#rows [data-f="name"]', (els) => els.map((e) => e.value)), ['A', 'B', 'C']);
    await context.close();
  });

  test('撤销 after the day shrank puts the row at the end; after the state was replaced it does nothing', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, at({ [DAY]: [item('a', 'A'), item('b', 'B'), item('c', 'C')] }));
    await page.click('tr[data-id="c"] .tomo');
    for (const id of ['a', 'b']) await page.click(`tr[data-id="${id}"] .del`); // single rows: the move's toast stays
    await page.click('#toast .tact >> text=撤销');
    let st = await stored(page);
    assert.deepEqual([st.days[DAY].map((it) => it.name), st.days['2024-03-05']], [['C'], []]);

    await page.click(`tr[data-id="${st.days[DAY][0].id}"] .tomo`);
    await page.evaluate(() => {
      window.__vl.setState({ days: { '2024-03-04': [] }, current: '2024-03-04' });
      window.__vl.save();
    });
    const before = await stored(page);
    await page.click('#toast .tact >> text=撤销');
    st = await stored(page);
    assert.deepEqual(st, before);
    assert.deepEqual(await toastOf(page), []);
    await context.close();
  });
});
