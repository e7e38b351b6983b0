// The page's desktop bridge: the setup dialog against the real Linux shell (which answers as the
// loopback host and names itself "linux"), an ordinary browser, an unreachable shell, and the
// macOS host's message protocol against stubbed WebKit handlers.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { launch, open } from './harness.mjs';
import { LinuxHome } from '../shell/lib/linux.mjs';

let browser;
before(async () => {
  browser = await launch();
});
after(async () => {
  if (browser) await browser.close();
});

// A shell of its own, in a home of its own (so install and autostart write only there).
async function shellAt(prepare = () => {}) {
  const user = new LinuxHome();
  prepare(user);
  const shell = await user.start(['--ball-only']);
  return { user, shell, url: `http://127.0.0.1:${shell.port}/` };
}

// The host commands the page sends, as paths.
function hostRequests(page) {
  const seen = [];
  page.on('request', (r) => {
    const u = new URL(r.url());
    if (u.pathname === '/__vlra') seen.push(u.pathname + u.search);
  });
  return seen;
}

const dialog = (page) => page.evaluate(() => {
  const $ = (id) => document.getElementById(id);
  return {
    sub: $('sSub').textContent,
    inst: $('sInstTxt').textContent,
    st: $('sInstSt').className + '|' + $('sInstSt').textContent,
    installBtn: $('sInstallBtn').checkVisibility() ? $('sInstallBtn').textContent : null,
    auto: $('sAutoBtn').textContent,
    foot: $('sFoot').textContent,
  };
});
const toastText = (page) => page.evaluate(() => (document.getElementById('toast').classList.contains('show') ? document.querySelector('#toast span').textContent : ''));
const untilToast = (page, text) => page.waitForFunction((t) => document.getElementById('toast').classList.contains('show') && document.querySelector('#toast span').textContent === t, text);
const dialogShown = (page) => page.evaluate(() => document.getElementById('setupBox').classList.contains('show'));

const LINUX_FOOT = /^Linux 的开机自启是当前用户登录会话里的一条自动启动项/;

describe('Linux shell', () => {
  test('the button shows at 127.0.0.1 and not through localhost, where nothing is sent', async () => {
    const { shell, url } = await shellAt();
    try {
      const local = await open(browser, url.replace('127.0.0.1', 'localhost'));
      const sent = hostRequests(local.page);
      assert.equal(await local.page.isVisible('#setupBtn'), false);
      await local.page.click('#add');
      assert.deepEqual(sent, []);
      await local.context.close();

      const own = await open(browser, url);
      assert.equal(await own.page.isVisible('#setupBtn'), true);
      assert.equal(await dialogShown(own.page), false, 'the dialog waits for the button');
      await own.context.close();
    } finally {
      await shell.stop();
    }
  });

  test('the status fills the dialog; the toggle and install reach the shell, whose replies drive texts and toasts', async () => {
    const { user, shell, url } = await shellAt();
    const entry = join(user.home, '.config', 'autostart', 'vellora.desktop');
    const exe = join(user.dataDir, 'vellora');
    try {
      const { page, context, errors } = await open(browser, url);
      const sent = hostRequests(page);
      await page.click('#setupBtn');
      assert.equal(await page.textContent('#sTitle'), '🚀 安装到电脑 & 开机自启');
      await page.waitForFunction(() => document.getElementById('sSub').textContent !== '');
      const before = await dialog(page);
      assert.match(before.foot, LINUX_FOOT);
      assert.deepEqual({ ...before, foot: '' }, {
        sub: '当前是 Linux 桌面版', inst: '📌 安装到电脑（含桌面 + 开始菜单图标）', st: 'st|', installBtn: '一键安装', auto: '未开启 · 点开启', foot: '',
      });

      await page.click('#sAutoBtn');
      await untilToast(page, '🚀 开机自启已开启，下次开机直接挂球');
      assert.equal(await page.textContent('#sAutoBtn'), '✅ 已开启 · 点关闭');
      assert.equal(existsSync(entry), true, 'the autostart entry was written');
      await page.click('#sAutoBtn');
      await untilToast(page, '已关闭开机自启');
      assert.equal(await page.textContent('#sAutoBtn'), '未开启 · 点开启');
      assert.equal(existsSync(entry), false);

      await page.click('#sInstallBtn');
      await untilToast(page, '📌 已安装好，开机自启也顺手开啦');
      await page.waitForFunction(() => document.getElementById('sInstTxt').textContent === '📌 已安装到电脑');
      assert.deepEqual({ ...(await dialog(page)), foot: '' }, {
        sub: '当前是 Linux 桌面版', inst: '📌 已安装到电脑', st: `st okst|位置：${exe}`, installBtn: null, auto: '✅ 已开启 · 点关闭', foot: '',
      });
      assert.equal(existsSync(exe), true);
      assert.deepEqual(sent, ['/__vlra?cmd=status', '/__vlra?cmd=autostart&on=1', '/__vlra?cmd=autostart&on=0', '/__vlra?cmd=install', '/__vlra?cmd=status']);
      assert.equal(await page.isEnabled('#sInstallBtn'), true);

      // closing: a press on the card keeps it, Escape closes; the backdrop and 好了，关闭 close too
      await page.click('#sFoot');
      assert.equal(await dialogShown(page), true);
      await page.keyboard.press('Escape');
      assert.equal(await dialogShown(page), false);
      await page.click('#setupBtn');
      assert.equal(await page.textContent('#sInstTxt'), '📌 已安装到电脑', 'a later opening shows the known status at once');
      await page.mouse.click(5, 5);
      assert.equal(await dialogShown(page), false);
      await page.click('#setupBtn');
      await page.click('#setupBox [data-s="close"]');
      assert.equal(await dialogShown(page), false);
      assert.deepEqual(errors, []);
      await context.close();
    } finally {
      await shell.stop();
    }
  });

  test('a failed install shows the shell\'s error; the toggle before any status switches on', async () => {
    const { user, shell, url } = await shellAt((u) => mkdirSync(join(u.dataDir, 'vellora', 'x'), { recursive: true }));
    try {
      const { page, context } = await open(browser, url);
      const sent = hostRequests(page);
      // hold the status request back until the toggle has been pressed
      let release;
      const held = new Promise((r) => (release = r));
      await page.route('**/__vlra?cmd=status', async (route) => {
        await held;
        await route.continue();
      });
      await page.click('#setupBtn');
      assert.equal(await page.textContent('#sAutoBtn'), '', 'empty until a status arrives');
      await page.click('#sAutoBtn');
      await untilToast(page, '🚀 开机自启已开启，下次开机直接挂球');
      assert.ok(sent.includes('/__vlra?cmd=autostart&on=1'));
      assert.equal(existsSync(join(user.home, '.config', 'autostart', 'vellora.desktop')), true);
      release();
      await page.waitForFunction(() => document.getElementById('sSub').textContent === '当前是 Linux 桌面版');

      await page.click('#sInstallBtn');
      await untilToast(page, '安装没成功：copy failed');
      assert.equal(await page.textContent('#sInstallBtn'), '一键安装');
      assert.equal((await dialog(page)).inst, '📌 安装到电脑（含桌面 + 开始菜单图标）');
      await context.close();
    } finally {
      await shell.stop();
    }
  });

  test('an unreachable shell or a reply that is not JSON: the dialog stays, the failure toasts show', async () => {
    const { shell, url } = await shellAt();
    const { page, context } = await open(browser, url);
    await page.route('**/__vlra?cmd=install', (route) => route.fulfill({ status: 200, contentType: 'text/html', body: '<html>' }));
    await page.click('#setupBtn');
    await page.waitForFunction(() => document.getElementById('sSub').textContent !== '');
    await page.click('#sInstallBtn');
    await untilToast(page, '安装没成功，稍后再试试');
    await page.click('#setupBox [data-s="close"]');
    await shell.stop();

    await page.click('#setupBtn');
    await page.click('#sAutoBtn');
    await untilToast(page, '设置没成功，稍后再试试');
    assert.equal(await page.isEnabled('#sAutoBtn'), true);
    await page.unroute('**/__vlra?cmd=install');
    await page.click('#sInstallBtn');
    await untilToast(page, '安装没成功，稍后再试试');
    assert.deepEqual([await page.textContent('#sInstallBtn'), await page.isEnabled('#sInstallBtn')], ['一键安装', true]);
    assert.equal((await dialog(page)).sub, '当前是 Linux 桌面版', 'the dialog keeps the last status');
    await context.close();
  });
});

describe('macOS host', () => {
  // Chromium cannot load a page under the host's own scheme "vellora:", so the page is served
  // from an ordinary address with its core script run where `location` names that scheme: the
  // core reads its host from `location`, and wrapping the unchanged script in a function whose
  // parameter is called `location` gives it the macOS host's view. The WebKit handler is a
  // stand-in that records each message.
  const T = new Date('2024-03-04T09:00:00Z').getTime();
  let macPage = '';

  before(async () => {
    const { shell, url } = await shellAt();
    try {
      const html = await (await fetch(url)).text();
      const scripts = [...html.matchAll(/<script>\n([\s\S]*?)\n<\/script>/g)];
      const core = scripts.find((m) => m[1].includes('window.__vl = '));
      assert.ok(core, 'the page core script');
      const wrapped = `((location) => {\n${core[1]}\n})({ protocol: 'vellora:', hostname: '', host: '', href: 'vellora://app/index.html' });`;
      macPage = html.replace(core[1], () => wrapped);
    } finally {
      await shell.stop();
    }
  });

  async function openMac() {
    const context = await browser.newContext({ viewport: { width: 1360, height: 900 } });
    await context.route('http://mac.vellora.test/**', (route) => route.fulfill({ contentType: 'text/html; charset=utf-8', body: macPage }));
    await context.addInitScript(() => {
      window.__sent = [];
      window.webkit = { messageHandlers: { vlraLaunch: { postMessage: (m) => window.__sent.push(m) } } };
    });
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(String(e)));
    await page.clock.install({ time: T - 5000 });
    await page.clock.pauseAt(T);
    await page.goto('http://mac.vellora.test/');
    return { context, page, errors };
  }

  const sentMessages = (page) => page.evaluate(() => window.__sent.map((m) => [typeof m, m]));
  const lastSent = async (page) => {
    const all = await sentMessages(page);
    const [type, text] = all[all.length - 1];
    assert.equal(type, 'string', 'the message is JSON text');
    return JSON.parse(text);
  };
  const apply = (page, token, reply) => page.evaluate(([t, r]) => window.__vlraApply(t, r), [token, reply]);

  test('the token protocol: message, reply, duplicate and late replies ignored, the 8000 ms timeout', async () => {
    const { page, context, errors } = await openMac();
    assert.equal(await page.isVisible('#setupBtn'), true);
    await page.click('#setupBtn');
    const status = await lastSent(page);
    assert.deepEqual(Object.keys(status), ['cmd', 'cb', 'params']);
    assert.deepEqual([status.cmd, status.params], ['status', {}]);
    assert.match(status.cb, new RegExp(`^t${T}\\d{1,5}$`));
    await apply(page, 'never-issued', { installed: 1 });
    await apply(page, status.cb, { installed: true, autostart: false, installedPath: '/Applications/Vellora.app', appPath: '/Applications/Vellora.app' });
    const filled = {
      sub: '当前是 Mac 桌面版：/Applications/Vellora.app', inst: '📌 已在「应用程序」文件夹', st: 'st okst|位置：/Applications/Vellora.app',
      installBtn: null, auto: '未开启 · 点开启', foot: 'Mac 的开机自启通过 LaunchAgents 实现；程序放在「应用程序」文件夹里最稳，搬家后重开一次自启即可。',
    };
    assert.deepEqual(await dialog(page), filled);
    await apply(page, status.cb, { installed: false, autostart: true });
    assert.deepEqual(await dialog(page), filled, 'a second reply to the same token is ignored');

    // the toggle: no reply within 8000 ms yields nothing; the late reply changes nothing
    await page.click('#sAutoBtn');
    const auto = await lastSent(page);
    assert.deepEqual([auto.cmd, auto.params], ['autostart', { on: 1 }]);
    assert.notEqual(auto.cb, status.cb);
    await page.clock.runFor(7990);
    assert.deepEqual([await page.isEnabled('#sAutoBtn'), await toastText(page)], [false, '']);
    await page.clock.runFor(20);
    assert.deepEqual([await page.isEnabled('#sAutoBtn'), await toastText(page)], [true, '设置没成功，稍后再试试']);
    await apply(page, auto.cb, { ok: 1, autostart: 1 });
    assert.equal(await page.textContent('#sAutoBtn'), '未开启 · 点开启');
    assert.equal(await toastText(page), '设置没成功，稍后再试试');

    // a reply in time: the toggle's state and toast
    await page.click('#sAutoBtn');
    const again = await lastSent(page);
    await page.clock.runFor(3000);
    await apply(page, again.cb, { ok: true, autostart: true });
    assert.deepEqual([await page.textContent('#sAutoBtn'), await toastText(page)], ['✅ 已开启 · 点关闭', '🚀 开机自启已开启，下次开机直接挂球']);
    assert.deepEqual(errors, []);
    await context.close();
  });

  test('several commands wait at once, each under its own token; install reports the error, or asks for the status again', async () => {
    const { page, context } = await openMac();
    await page.click('#setupBtn');
    await page.click('#sInstallBtn');
    assert.deepEqual([await page.textContent('#sInstallBtn'), await page.isEnabled('#sInstallBtn')], ['安装中…', false]);
    const [status, install] = (await sentMessages(page)).map(([, m]) => JSON.parse(m));
    assert.deepEqual([status.cmd, install.cmd], ['status', 'install']);
    assert.notEqual(status.cb, install.cb);
    await apply(page, install.cb, { ok: 0, error: 'disk full' });
    assert.equal(await toastText(page), '安装没成功：disk full');
    assert.deepEqual([await page.textContent('#sInstallBtn'), await page.isEnabled('#sInstallBtn')], ['一键安装', true]);
    await apply(page, status.cb, { installed: 0, autostart: 0 });
    assert.equal(await page.textContent('#sInstTxt'), '📌 安装到「应用程序」文件夹');

    await page.click('#sInstallBtn');
    await apply(page, (await lastSent(page)).cb, { ok: 1 });
    assert.equal(await toastText(page), '📌 已安装好，开机自启也顺手开啦');
    const refresh = await lastSent(page);
    assert.equal(refresh.cmd, 'status');
    await apply(page, refresh.cb, { installed: 1, autostart: 1, installedPath: '/Applications/Vellora.app' });
    assert.deepEqual(
      [await page.textContent('#sInstTxt'), await page.textContent('#sSub'), await page.isVisible('#sInstallBtn')],
      ['📌 已在「应用程序」文件夹', '当前是 Mac 桌面版', false],
    );
    await context.close();
  });
});
