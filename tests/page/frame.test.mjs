// The page frame as served by the shell: head order, regions, toolbar, shared look, toast.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { item, open, setup, stateOf } from './harness.mjs';

const h = setup();
before(h.before);
after(h.after);

describe('Frame', () => {
  test('the head is in its fixed order, the loader first of all scripts and styles', async () => {
    const { page, context } = await open(h.env.browser, h.env.url);
    const head = await page.evaluate(() => [...document.head.children].map((e) => {
      const a = e.getAttribute.bind(e);
      return [e.tagName.toLowerCase(), a('charset') || a('name') || a('rel') || '', a('content') || a('href') || ''].join(' ').trim();
    }));
    assert.deepEqual(head, [
      'meta UTF-8',
      'meta viewport width=device-width, initial-scale=1.0, viewport-fit=cover',
      'title',
      'script',
      'meta theme-color #ff8fa3',
      'meta apple-mobile-web-app-capable yes',
      'meta mobile-web-app-capable yes',
      'meta apple-mobile-web-app-status-bar-style default',
      'meta apple-mobile-web-app-title Vellora',
      'meta format-detection telephone=no',
      'link manifest manifest.json',
      'link apple-touch-icon icon-180.png',
      'link icon icon-192.png',
      'style',
    ]);
    assert.equal(await page.evaluate(() => document.documentElement.lang), 'zh-CN');
    assert.match(await page.evaluate(() => window.__vlVer), /^\d{4}-\d{2}-\d{2}\.\d+$/);
    await context.close();
  });

  test('the body holds its regions, floating layers and script slots in order', async () => {
    const { page, context } = await open(h.env.browser, h.env.url);
    const body = await page.evaluate(() => [...document.body.children].map((e) => e.id || e.className || e.tagName.toLowerCase()));
    assert.deepEqual(body, ['blob b1', 'blob b2', 'blob b3', 'wrap', 'tpick', 'zoom', 'toast', 'setupBox', 'script', 'script']);
    const wrap = await page.evaluate(() => [...document.querySelectorAll('.wrap > *, .top > *')].map((e) => e.id || e.className));
    assert.deepEqual(wrap, ['top', 'brand', 'toolbar', 'status', 'lists', 'foot', 'hint']);
    assert.equal(await page.textContent('.mascot'), '🐰');
    assert.equal(await page.textContent('h1'), '📝 Vellora');
    assert.equal(await page.textContent('.foot'), '数据存在本机浏览器 · 记得常点「导出」备份 💾时刻点一下就能选，只有 10 分钟档哦 ⏰');
    const hint = await page.evaluate(() => document.getElementById('hint').innerHTML.split('<br>'));
    assert.equal(hint.length, 5);
    assert.ok(hint[0].startsWith('<b>用法：</b>顶部选日期查看当天排期'));
    assert.ok(hint[4].endsWith('当天全勾完就<b>自动撒花跳转</b>～'));
    // the notes editor and the setup dialog are hidden overlays of the modal frame
    assert.deepEqual(await page.evaluate(() => ['zoom', 'setupBox'].map((id) => getComputedStyle(document.getElementById(id)).display)), ['none', 'none']);
    await context.close();
  });

  test('the toolbar holds every control in order; later features start hidden', async () => {
    const { page, context } = await open(h.env.browser, h.env.url);
    const controls = await page.evaluate(() =>
      [...document.querySelectorAll('.toolbar [id]')].map((e) => [e.id, e.checkVisibility(), (e.labels && e.labels[0] ? e.labels[0].textContent : e.textContent).trim() || e.placeholder || e.title]));
    assert.deepEqual(controls, [
      ['add', true, '＋ 新建作业'],
      ['prevDay', true, '‹ 前一天'],
      ['date', true, ''],
      ['nextDay', true, '下一天 ›'],
      ['today', true, '今天'],
      ['search', true, '🔍'],
      ['hideDone', true, '隐藏已完成'],
      ['autoNext', true, '自动跳下一天'],
      ['export', true, '导出'],
      ['import', true, '导入'],
      ['setupBtn', true, '🚀 开机自启'], // served by the desktop shell at 127.0.0.1
      ['loginBtn', false, '🔑 登录 / 注册'],
      ['userChip', false, '点一下改昵称 / 头像 / 配色'],
      ['adminBtn', false, '🛠 管理后台'],
      ['syncDot', true, '点一下：立刻跟服务器对一次（别的设备改的也会拉过来）'],
      ['file', false, ''],
    ]);
    assert.equal(await page.getAttribute('#search', 'placeholder'), '搜姓名');
    assert.equal(await page.isChecked('#autoNext'), true);
    assert.equal(await page.isChecked('#hideDone'), false);
    assert.equal(await page.getAttribute('#file', 'accept'), 'application/json');
    assert.equal(await page.getAttribute('.switch', 'title'), '当天全部勾完成后，自动创建并跳转到下一天');
    assert.equal(await page.getAttribute('#setupBtn', 'title'), '安装到电脑 + 开机自动启动');
    await context.close();
  });

  test('the pastel look: palette, body, buttons; calm under reduced motion', async () => {
    const { page, context } = await open(h.env.browser, h.env.url);
    const look = await page.evaluate(() => {
      const root = getComputedStyle(document.documentElement);
      const body = getComputedStyle(document.body);
      const add = getComputedStyle(document.getElementById('add'));
      return {
        vars: ['--bg', '--brand', '--line', '--text', '--shadow'].map((v) => root.getPropertyValue(v).trim()),
        body: [body.fontSize, body.color, body.paddingTop, body.paddingBottom],
        add: [add.borderRadius, add.fontSize, add.fontWeight, add.color, add.backgroundImage.startsWith('linear-gradient')],
        blob: getComputedStyle(document.querySelector('.b2')).animationName,
      };
    });
    assert.deepEqual(look, {
      vars: ['#fff8f4', '#ff8fa3', '#ffe6da', '#6b5347', '0 8px 26px rgba(255,150,170,.16)'],
      body: ['14px', 'rgb(107, 83, 71)', '18px', '26px'],
      add: ['999px', '13px', '600', 'rgb(255, 255, 255)', true],
      blob: 'blobFloat',
    });
    await context.close();
    const calm = await open(h.env.browser, h.env.url, { reducedMotion: 'reduce' });
    assert.deepEqual(await calm.page.evaluate(() => ['.b1', '.mascot'].map((s) => getComputedStyle(document.querySelector(s)).animationName)), ['none', 'none']);
    await calm.context.close();
  });
});

describe('Accessibility', () => {
  test('every control has an accessible name', async () => {
    const day = '2024-03-04';
    const { page, context } = await open(h.env.browser, h.env.url, {
      storage: { 'homework-planner-v5': stateOf({ [day]: [item('a', '小明', { count: '2' }), item('b', '', { done: true })] }, day, { settings: { autoNext: false } }) },
    });
    await page.evaluate(() => window.__vl.toast('hi', [{ label: '撤销', fn() {} }]));
    const cdp = await context.newCDPSession(page);
    const roles = new Set(['button', 'textbox', 'searchbox', 'checkbox', 'switch', 'combobox', 'spinbutton', 'Date', 'progressbar']);
    const controls = async () => {
      const { nodes } = await cdp.send('Accessibility.getFullAXTree');
      const found = nodes.filter((n) => !n.ignored && n.role && roles.has(n.role.value));
      return [found.length, found.filter((n) => !(n.name && String(n.name.value).trim())).map((n) => n.role.value)];
    };
    const [onPage, unnamed] = await controls();
    assert.ok(onPage > 30, `${onPage} controls on the page`);
    assert.deepEqual(unnamed, []);
    await page.click('tr[data-id="a"] [data-f="note"]');
    assert.deepEqual((await controls())[1], [], 'the notes editor');
    await context.close();
  });

  test('keyboard focus is visible', async () => {
    const { page, context } = await open(h.env.browser, h.env.url);
    await page.focus('#export');
    await page.keyboard.press('Tab');
    const ring = await page.evaluate(() => { const s = getComputedStyle(document.activeElement); return [document.activeElement.id, s.outlineStyle, s.outlineWidth]; });
    assert.deepEqual(ring, ['import', 'solid', '2px']);
    await context.close();
  });
});

describe('Toast', () => {
  const state = (page) => page.evaluate(() => {
    const t = document.getElementById('toast');
    return { shown: t.classList.contains('show'), text: t.querySelector('span') ? t.querySelector('span').textContent : '', acts: [...t.querySelectorAll('.tact')].map((b) => b.textContent) };
  });

  test('is a polite live region before anything is said', async () => {
    const { page, context } = await open(h.env.browser, h.env.url);
    assert.deepEqual(await page.evaluate(() => [toast.getAttribute('role'), toast.getAttribute('aria-live'), toast.classList.contains('show')]), ['status', 'polite', false]);
    await context.close();
  });

  test('hides after 2600 ms, or 5200 ms with actions; a second toast replaces the first and its timer', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, { clock: new Date('2026-03-04T09:00:00') });
    await page.evaluate(() => window.__vl.toast('plain'));
    await page.clock.runFor(2590);
    assert.equal((await state(page)).shown, true);
    await page.clock.runFor(20);
    assert.equal((await state(page)).shown, false);

    await page.evaluate(() => window.__vl.toast('with action', [{ label: 'A', fn() {} }, { fn() {} }]));
    assert.deepEqual(await state(page), { shown: true, text: 'with action', acts: ['A'] });
    await page.clock.runFor(5190);
    assert.equal((await state(page)).shown, true);
    await page.clock.runFor(20);
    assert.equal((await state(page)).shown, false);

    await page.evaluate(() => window.__vl.toast('first', [{ label: 'X', fn() {} }]));
    await page.clock.runFor(2000);
    await page.evaluate(() => window.__vl.toast('second'));
    assert.deepEqual(await state(page), { shown: true, text: 'second', acts: [] });
    await page.clock.runFor(2590);
    assert.equal((await state(page)).shown, true, 'timed from the second toast');
    await page.clock.runFor(20);
    assert.equal((await state(page)).shown, false);
    await context.close();
  });

  test('an action hides the toast first, then runs; a failing action leaves the page working', async () => {
    const { page, context, errors } = await open(h.env.browser, h.env.url);
    await page.evaluate(() => {
      window.seen = [];
      window.__vl.toast('go', [
        { label: 'look', fn: () => window.seen.push(document.getElementById('toast').classList.contains('show')) },
        { label: 'boom', fn: () => { throw new Error('boom'); } },
      ]);
    });
    await page.click('#toast .tact >> text=look');
    assert.deepEqual(await page.evaluate(() => window.seen), [false]);
    await page.evaluate(() => window.__vl.toast('again', [{ label: 'boom', fn: () => { throw new Error('boom'); } }]));
    await page.click('#toast .tact');
    assert.equal((await state(page)).shown, false);
    await page.click('#add');
    assert.equal(await page.locator('#rows tr').count(), 1);
    assert.deepEqual(errors, []);
    await context.close();
  });

  test('shows markup as plain text', async () => {
    const { page, context } = await open(h.env.browser, h.env.url);
    await page.evaluate(() => window.__vl.toast('<b>小明</b> & <img src=x onerror="window.hit=1">', [{ label: '<i>x</i>', fn() {} }]));
    assert.deepEqual(await state(page), { shown: true, text: '<b>小明</b> & <img src=x onerror="window.hit=1">', acts: ['<i>x</i>'] });
    assert.equal(await page.evaluate(() => document.querySelectorAll('#toast b, #toast img, #toast i').length), 0);
    await context.close();
  });

  test('on a narrow window it spans the width and wraps its buttons', async () => {
    const { page, context } = await open(h.env.browser, h.env.url, { viewport: { width: 390, height: 800 } });
    await page.evaluate(() => window.__vl.toast('🗑️ 已删 一个名字很长很长的同学 · 后面 3 天的 一个名字很长很长的同学 也一起清了', [{ label: '撤销', fn() {} }, { label: '去看看 ›', fn() {} }]));
    await page.waitForTimeout(400);
    const box = await page.locator('#toast').boundingBox();
    assert.deepEqual([Math.round(box.x), Math.round(box.width)], [8, 390 - 16]);
    assert.equal(await page.evaluate(() => getComputedStyle(toast).flexWrap), 'wrap');
    await context.close();
  });
});
