// The page's desktop bridge against the Windows shell: Chromium on this machine loads the page from
// Vellora.exe running under Wine, and the setup dialog's status, start at log-on and installation
// reach the shell (seen in its replies and in the registry).
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, readFileSync, rmSync } from 'node:fs';
import { join } from 'node:path';
import { launch, open } from './harness.mjs';
import { waitFor } from '../shell/lib/http.mjs';
import { EXE, Wine } from '../shell/lib/wine.mjs';

const wine = new Wine();
const RUN_KEY = 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run';
const userDir = join(wine.prefix, 'drive_c/users', wine.user);
const shortcuts = [join(userDir, 'Desktop/Vellora.lnk'), join(userDir, 'AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Vellora.lnk')];
const removeShortcuts = () => shortcuts.forEach((link) => rmSync(link, { force: true }));
const logPath = join(wine.dataDir, 'launch.log');
const runValue = () => {
  const r = wine.reg('query', RUN_KEY, '/v', 'Doremkin');
  return r.status === 0 ? /Doremkin\s+REG_\w+\s+(.*?)\r?$/m.exec(r.stdout)?.[1] ?? null : null;
};

let browser;
let url = '';

before(async () => {
  await wine.boot();
  await wine.stopAll();
  await wine.reset();
  removeShortcuts();
  wine.start(EXE, ['--ball-only']);
  const port = await waitFor(() => Number(/\[http\] 本地服务已启动 端口=(\d+)/.exec(existsSync(logPath) ? readFileSync(logPath, 'utf8') : '')?.[1] ?? 0), {
    timeoutMs: 30000,
    what: 'the [http] log line',
  });
  url = `http://127.0.0.1:${port}/`;
  browser = await launch();
}, { timeout: 240000 });

after(async () => {
  if (browser) await browser.close();
  await wine.stopAll();
  removeShortcuts();
  await wine.close();
});

const untilToast = (page, text) => page.waitForFunction((t) => document.getElementById('toast').classList.contains('show') && document.querySelector('#toast span').textContent === t, text, { timeout: 30000 });
const untilText = (page, id, text) => page.waitForFunction(([i, t]) => document.getElementById(i).textContent === t, [id, text], { timeout: 30000 });

test('the setup dialog drives the Windows shell: status, start at log-on on and off, installation', { timeout: 180000 }, async () => {
  const local = await open(browser, url.replace('127.0.0.1', 'localhost'));
  assert.equal(await local.page.isVisible('#setupBtn'), false, 'not through localhost');
  await local.context.close();

  const { page, context, errors } = await open(browser, url);
  await page.click('#setupBtn');
  await untilText(page, 'sSub', '当前是 Windows 桌面版');
  assert.deepEqual(await page.evaluate(() => ['sInstTxt', 'sInstSt', 'sAutoBtn', 'sFoot'].map((id) => document.getElementById(id).textContent)), [
    '📌 安装到电脑（含桌面 + 开始菜单图标）', '', '未开启 · 点开启',
    'Windows 的开机自启写入当前用户的注册表 Run 项；安装后自启指向安装位置，随便删下载目录里的原 exe 都不影响。',
  ]);
  assert.equal(await page.isVisible('#sInstallBtn'), true);

  await page.click('#sAutoBtn');
  await untilToast(page, '🚀 开机自启已开启，下次开机直接挂球');
  assert.equal(await page.textContent('#sAutoBtn'), '✅ 已开启 · 点关闭');
  assert.match(runValue() ?? '', /--ball-only$/, 'the Run value was written');
  await page.click('#sAutoBtn');
  await untilToast(page, '已关闭开机自启');
  assert.equal(runValue(), null, 'the Run value was removed');

  await page.click('#sInstallBtn');
  await untilToast(page, '📌 已安装好，开机自启也顺手开啦');
  await untilText(page, 'sInstTxt', '📌 已安装到电脑');
  const installed = `${wine.winDataDir}\\Vellora.exe`;
  assert.deepEqual(await page.evaluate(() => [document.getElementById('sInstSt').className, document.getElementById('sInstSt').textContent]), ['st okst', '位置：' + installed]);
  assert.equal(await page.isVisible('#sInstallBtn'), false);
  assert.equal(await page.textContent('#sAutoBtn'), '✅ 已开启 · 点关闭');
  assert.equal(runValue(), `"${installed}" --ball-only`);
  assert.equal(existsSync(join(wine.dataDir, 'Vellora.exe')), true);
  assert.deepEqual(errors, []);
  await context.close();
});
