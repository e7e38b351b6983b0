// The native Linux shell: the same server, one instance per user, a stable address.
import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';
import { join } from 'node:path';
import { answers, sleep, waitFor } from './lib/http.mjs';
import { LinuxHome, NO_DISPLAY } from './lib/linux.mjs';
import { serverChecks } from './lib/server-checks.mjs';

describe('a running Linux shell', () => {
  const user = new LinuxHome();
  let shell;
  before(async () => {
    shell = await user.start(['--ball-only']);
  });
  after(() => shell.kill('SIGKILL'));

  serverChecks(() => shell.port);

  test('logs its start in the data folder, in UTF-8 with CR LF; without a display it serves without the ball', () => {
    assert.equal(
      user.readLog(),
      `[http] 本地服务已启动 端口=${shell.port}\r\n${NO_DISPLAY}\r\n[boot] 开机自启：只挂悬浮球，不弹主窗口\r\n`,
    );
  });

  test('a second start notifies the first and exits 0; with --ball-only it does nothing', async () => {
    assert.equal((await user.run(['--ball-only'])).code, 0);
    assert.equal(user.readLog().includes('[warn]'), false);
    assert.equal((await user.run()).code, 0);
    // The first shell opens the page (here, without a browser, as a file).
    await user.waitForLog(`[warn] 端口=${shell.port} 浏览器找到=0，走兜底`);
    assert.ok(await answers(shell.port));
  });

  test('SIGTERM ends it with 0 and the port stops answering', async () => {
    shell.kill('SIGTERM');
    assert.equal(await shell.exited, 0);
    assert.equal(await answers(shell.port), false);
  });
});

test('the page keeps its address across restarts', async () => {
  const user = new LinuxHome();
  const a = await user.start(['--ball-only']);
  a.kill('SIGINT');
  assert.equal(await a.exited, 0);
  const b = await user.start(['--ball-only']);
  try {
    assert.equal(b.port, a.port);
  } finally {
    b.kill('SIGTERM');
    await b.exited;
  }
});

describe('a second start opens the running shell, never the page file', () => {
  // Both starts go to the one shell's address: the stand-in browser records each launch.
  const bothOpenTheShell = async (user) => {
    user.addBrowser('/usr/bin/chromium');
    const first = user.start();
    await sleep(10); // while the first is still waiting for its server
    const second = await user.run();
    const shell = await first;
    try {
      assert.equal(second.code, 0);
      const launches = await waitFor(() => user.launches().length >= 2 && user.launches(), {
        what: 'two browser starts',
      });
      for (const l of launches) assert.ok(l.argv.includes(`--app=http://127.0.0.1:${shell.port}/`), l.argv.join(' '));
      assert.deepEqual(user.opens(), [], 'no page file opened');
      assert.doesNotMatch(user.readLog(), /\[fallback\]/);
    } finally {
      await shell.stop();
    }
  };

  test('10 ms after the first', () => bothOpenTheShell(new LinuxHome()));

  test('with a data folder path of 150 characters', async () => {
    const user = new LinuxHome();
    const data = join(user.home, 'd'.repeat(150 - user.home.length - '/Doremkin'.length - 1));
    user.env.XDG_DATA_HOME = data;
    user.dataDir = join(data, 'Doremkin');
    assert.equal(user.dataDir.length, 150);
    await bothOpenTheShell(user);
  });
});
