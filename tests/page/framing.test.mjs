// The page served by the shell under its headers: it runs whole under its Content-Security-Policy,
// and another site cannot frame it to lure the teacher's clicks onto the setup dialog.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync } from 'node:fs';
import http from 'node:http';
import { join } from 'node:path';
import { launch, open } from './harness.mjs';
import { LinuxHome } from '../shell/lib/linux.mjs';

let browser, user, shell, url;
before(async () => {
  browser = await launch();
  user = new LinuxHome();
  shell = await user.start(['--ball-only']);
  url = `http://127.0.0.1:${shell.port}/`;
});
after(async () => {
  if (browser) await browser.close();
  if (shell) await shell.stop();
});

const VIEW = { width: 1360, height: 900 };

test('the page runs under its policy: no violation, its scripts and styles apply', async () => {
  const { context, page, errors } = await open(browser, url, { viewport: VIEW });
  const violations = [];
  page.on('console', (m) => /Content Security Policy/i.test(m.text()) && violations.push(m.text()));
  await page.reload();
  assert.equal(await page.evaluate(() => typeof window.__vl?.render), 'function', 'the core script ran');
  await page.click('#setupBtn'); // the host bridge answers through the policy's connect-src
  await page.waitForFunction(() => document.getElementById('sInstallBtn').checkVisibility());
  assert.deepEqual(violations, []);
  assert.deepEqual(errors, []);
  await context.close();
});

test('another site that frames the page invisibly cannot click it into installing', async () => {
  // Where the two buttons lie when the page fills the viewport, as the attacker would measure.
  const direct = await open(browser, url, { viewport: VIEW });
  const setupBox = await direct.page.locator('#setupBtn').boundingBox();
  await direct.page.click('#setupBtn');
  await direct.page.waitForFunction(() => document.getElementById('sInstallBtn').checkVisibility());
  const installBox = await direct.page.locator('#sInstallBtn').boundingBox();
  await direct.context.close();

  const attacker = http.createServer((req, res) => {
    res.setHeader('Content-Type', 'text/html');
    res.end(`<!DOCTYPE html><body style="margin:0"><p>Win a prize! Click twice.</p>
<iframe id="f" src="${url}" style="position:fixed;left:0;top:0;width:${VIEW.width}px;height:${VIEW.height}px;border:0;opacity:0.01"></iframe>`);
  });
  await new Promise((r) => attacker.listen(0, 'localhost', r));
  // The attacker's page is no planner: opened plainly, without waiting for the planner to load.
  const context = await browser.newContext({ viewport: VIEW });
  try {
    const page = await context.newPage();
    await page.goto(`http://localhost:${attacker.address().port}/`);
    await page.waitForTimeout(1000);
    const center = (b) => [b.x + b.width / 2, b.y + b.height / 2];
    await page.mouse.click(...center(setupBox));
    await page.waitForTimeout(500);
    await page.mouse.click(...center(installBox));
    await page.waitForTimeout(1000);
    const framed = page.frames().find((f) => f !== page.mainFrame());
    const loaded = framed ? await framed.evaluate(() => !!document.getElementById('setupBtn')).catch(() => false) : false;
    assert.equal(loaded, false, 'the page must not load inside another site');
    assert.equal(existsSync(join(user.dataDir, 'vellora')), false, 'nothing installed');
    assert.doesNotMatch(user.readLog(), /\[install\]|\[autostart\]/);
  } finally {
    await context.close();
    attacker.close();
  }
});
