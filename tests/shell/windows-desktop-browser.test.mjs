// The Windows shell opening the page under Wine: a stand-in browser at the paths where the shell
// looks for Edge and Chrome records how it was started, and its window plays the page's window.
import assert from 'node:assert/strict';
import { existsSync, mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { waitFor } from './lib/http.mjs';
import { repoPath } from './lib/paths.mjs';
import { placeBrowser, removeBrowsers } from './lib/standin-browser.mjs';
import { EXE, Wine } from './lib/wine.mjs';

const wine = new Wine();
const page = readFileSync(repoPath('build/page/app.html'));
const logPath = join(wine.dataDir, 'launch.log');
const readLog = () => (existsSync(logPath) ? readFileSync(logPath, 'utf8') : '');
const logLines = () => readLog().split('\r\n').filter(Boolean);
const profile = `${wine.winDataDir}\\profile`;

const appModeArgs = (port) =>
  `--app="http://127.0.0.1:${port}/" --user-data-dir="${profile}" --window-size=1360,840 ` +
  '--window-position=60,40 --no-first-run --no-default-browser-check --disable-sync --disable-features=Translate';
const normalModeArgs = (port) =>
  `--user-data-dir="${profile}" --window-size=1360,840 --no-first-run --no-default-browser-check ` +
  `"http://127.0.0.1:${port}/"`;

// Starts the shell in a clean prefix; resolves to its port once the ball is up.
async function startShell() {
  const shell = wine.start(EXE);
  const port = await waitFor(() => Number(/\[http\] 本地服务已启动 端口=(\d+)/.exec(readLog())?.[1] ?? 0), {
    timeoutMs: 30000,
    what: 'the [http] log line',
  });
  await waitFor(async () => (await wine.ballInfo()).found, { timeoutMs: 15000, what: 'the ball' });
  return { shell, port };
}

const waitForLog = (text, what = text) => waitFor(() => readLog().includes(text), { timeoutMs: 20000, what });

async function cleanSlate() {
  await wine.stopAll();
  await wine.reset();
  removeBrowsers(wine);
}

before(() => wine.boot(), { timeout: 240000 });
after(async () => {
  await cleanSlate();
  await wine.close();
});

describe('Edge in app mode, its window up', () => {
  let browser;
  let port;
  before(async () => {
    await cleanSlate();
    browser = placeBrowser(wine, 'edge');
    ({ port } = await startShell());
    await waitFor(() => browser.fetches().length, { timeoutMs: 20000, what: 'the stand-in browser' });
  }, { timeout: 90000 });

  test('is started with the exact app-mode command line and logged', () => {
    assert.deepEqual(browser.starts(), [`"${browser.path}" ${appModeArgs(port)}`]);
    const launch = logLines().filter((l) => l.startsWith('[launch]'));
    assert.equal(launch.length, 1);
    const m = /^\[launch\] appmode=1 port=(\d+) browser=(.*) ret=(-?\d+)$/.exec(launch[0]);
    assert.ok(m, launch[0]);
    assert.deepEqual([Number(m[1]), m[2]], [port, browser.path]);
    assert.ok(Number(m[3]) > 32, `ShellExecute result ${m[3]}`);
    assert.ok(logLines().indexOf(launch[0]) > logLines().findIndex((l) => l.startsWith('[http]')));
    assert.doesNotMatch(readLog(), /\[warn\]|\[fallback\]|\[err\]/);
  });

  test('gets the page from the shell', () => {
    assert.deepEqual(browser.fetches(), [{ status: 200, bytes: page.length, url: `http://127.0.0.1:${port}/` }]);
    assert.ok(browser.fetchedBody().equals(page));
  });

  test('the watchdog sees the window and starts nothing more', async () => {
    await waitForLog('[watchdog]', 'the watchdog');
    assert.ok(logLines().includes('[watchdog] 主窗口已出现，标题读取正常'), readLog());
    assert.doesNotMatch(readLog(), /5 秒内没见到主窗口/);
    assert.equal(browser.starts().length, 1);
  });

  test('a second start restores and activates the window instead of launching', async () => {
    const pageWindow = async () =>
      (await wine.ballctl('windows')).stdout.split('\n').filter(Boolean).map(JSON.parse).find((w) => w.title.includes('Vellora'));
    assert.equal((await wine.ballctl('minimise', 'Vellora')).code, 0);
    await waitFor(async () => (await pageWindow()).iconic === 1, { what: 'the page window minimised' });
    const before = logLines().length;
    const second = await wine.run(EXE);
    assert.equal(second.code, 0);
    await waitFor(() => logLines().length > before, { what: 'the hand-over' });
    assert.deepEqual(logLines().slice(before), ['[open] 已有主窗口，直接激活']);
    assert.deepEqual(await pageWindow(), { title: '📝 Vellora', class: 'VlStandInBrowser', iconic: 0, foreground: 1 });
    assert.equal(browser.starts().length, 1);
  });
});

describe('a per-user Chrome whose window never shows', () => {
  let browser;
  let port;
  before(async () => {
    await cleanSlate();
    browser = placeBrowser(wine, 'userChrome', { title: null });
    ({ port } = await startShell());
  }, { timeout: 90000 });

  test('is found as the only browser and started in app mode', async () => {
    await waitFor(() => browser.starts().length, { timeoutMs: 20000, what: 'the first start' });
    assert.equal(browser.starts()[0], `"${browser.path}" ${appModeArgs(port)}`);
    assert.match(readLog(), new RegExp(`\\[launch\\] appmode=1 port=${port} browser=${escape(browser.path)} ret=\\d+`));
  });

  test('after 5 s the watchdog starts it again in normal mode', async () => {
    await waitForLog('[launch] appmode=0', 'the normal-mode launch');
    const lines = logLines();
    const retry = lines.indexOf('[watchdog] 5 秒内没见到主窗口，改用普通模式重试');
    assert.ok(retry > 0, readLog());
    assert.match(lines[retry + 1], new RegExp(`^\\[launch\\] appmode=0 port=${port} browser=${escape(browser.path)} ret=\\d+$`));
    await waitFor(() => browser.fetches().length === 2, { what: 'the second start' });
    assert.equal(browser.starts()[1], `"${browser.path}" ${normalModeArgs(port)}`);
    assert.equal(browser.fetches()[1].status, 200);
    assert.doesNotMatch(readLog(), /\[fallback\]/);
  });
});

describe('no browser at all', () => {
  let port;
  const pageFile = join(wine.dataDir, 'app.html');
  const fileUrl = `file:///${wine.winDataDir.replaceAll('\\', '/')}/app.html`;
  const fallbackLine = `[fallback] 直接打开 ${fileUrl}`;
  // Wine's winebrowser hands the host the file's Unix path as a URL.
  const hostUrl = () => `file://${wine.prefix}/dosdevices/c:/users/${wine.user}/AppData/Local/Doremkin/app.html`;

  before(async () => {
    await cleanSlate();
    ({ port } = await startShell());
  }, { timeout: 90000 });

  test('the page file is written and opened, with the [warn] and [fallback] lines', async () => {
    await waitForLog('[fallback]');
    const lines = logLines();
    const warn = lines.indexOf(`[warn] 端口=${port} 浏览器找到=0，走兜底`);
    assert.ok(warn > 0, readLog());
    assert.equal(lines[warn + 1], fallbackLine);
    assert.ok(readFileSync(pageFile).equals(page), 'app.html is the built page');
    await waitFor(() => wine.openedUrls().length, { what: 'the URL reaching the system browser' });
    assert.deepEqual(wine.openedUrls(), [hostUrl()]);
    assert.doesNotMatch(readLog(), /\[launch\]|\[err\]/);
  });

  test('a stale page file is replaced before it is opened again', async () => {
    // Let the watchdog's own retry (a fallback too) pass first, so that the next one is ours.
    await waitForLog('[watchdog] 5 秒内没见到主窗口，改用普通模式重试');
    await waitFor(() => logLines().filter((l) => l === fallbackLine).length === 2, { what: "the watchdog's fallback" });
    writeFileSync(pageFile, '<!doctype html><title>old page</title>');
    const opened = wine.openedUrls().length;
    assert.equal((await wine.run(EXE)).code, 0); // hands over to the running shell
    await waitFor(() => logLines().filter((l) => l === fallbackLine).length === 3, { what: 'the third fallback' });
    assert.ok(readFileSync(pageFile).equals(page), 'app.html was rewritten');
    await waitFor(() => wine.openedUrls().length > opened, { what: 'the URL opened again' });
    assert.equal(wine.openedUrls().at(-1), hostUrl());
  });
});

describe('no browser, and a data folder whose path holds "#" and "%"', () => {
  // The shell asks the system for the local application data folder: point it elsewhere for
  // these tests, so that the shell's data folder is <that>\Doremkin.
  const odd = 'a#b%25c';
  const setLocalAppData = (value) => {
    const key = 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders';
    const r = wine.reg('add', key, '/v', 'Local AppData', '/t', 'REG_EXPAND_SZ', '/d', value, '/f');
    if (r.status !== 0) throw new Error('could not set the local application data folder: ' + r.stderr);
  };
  const dataDir = join(wine.localAppData, odd, 'Doremkin');
  const log = () => (existsSync(join(dataDir, 'launch.log')) ? readFileSync(join(dataDir, 'launch.log'), 'utf8') : '');

  before(async () => {
    await cleanSlate();
    rmSync(join(wine.localAppData, odd), { recursive: true, force: true });
    mkdirSync(join(wine.localAppData, odd));
    setLocalAppData(`%USERPROFILE%\\AppData\\Local\\${odd}`);
    wine.start(EXE);
  }, { timeout: 90000 });
  after(async () => {
    await wine.stopAll();
    setLocalAppData('%USERPROFILE%\\AppData\\Local');
    rmSync(join(wine.localAppData, odd), { recursive: true, force: true });
  });

  test('the page file is opened by a URL that names it, every special character encoded', async () => {
    await waitFor(() => log().includes('[fallback]'), { timeoutMs: 30000, what: 'the [fallback] line' });
    assert.ok(log().includes(`[fallback] 直接打开 file:///C:/users/${wine.user}/AppData/Local/a%23b%2525c/Doremkin/app.html`), log());
    await waitFor(() => wine.openedUrls().length, { what: 'the URL reaching the system browser' });
    // what reaches the system's browser is a URL of the very file the shell wrote
    const opened = new URL(wine.openedUrls()[0]);
    assert.equal(opened.hash, '');
    assert.equal(opened.search, '');
    assert.ok(readFileSync(decodeURIComponent(opened.pathname)).equals(page), wine.openedUrls()[0]);
  });
});

function escape(text) {
  return text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
}
