// The Linux shell on the desktop: the browser it starts (or the page file it opens), and the host
// commands that install it and switch start at log-on. Browsers and xdg-open are stand-ins that
// record how they were started (lib/linux.mjs); nothing real is ever launched.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import {
  existsSync,
  mkdirSync,
  readFileSync,
  readdirSync,
  realpathSync,
  rmSync,
  statSync,
  writeFileSync,
} from 'node:fs';
import { join } from 'node:path';
import { describe, test } from 'node:test';
import { rawRequest, sleep, waitFor } from './lib/http.mjs';
import { LINUX_SHELL, LinuxHome, NO_DISPLAY, sessionOf } from './lib/linux.mjs';
import { repoPath } from './lib/paths.mjs';

const PAGE = readFileSync(repoPath('build/page/app.html'));

const appModeArgv = (browser, port, dataDir) => [
  browser,
  `--app=http://127.0.0.1:${port}/`,
  `--user-data-dir=${dataDir}/profile`,
  '--window-size=1360,840',
  '--window-position=60,40',
  '--no-first-run',
  '--no-default-browser-check',
  '--disable-sync',
  '--disable-features=Translate',
];

const normalModeArgv = (browser, port, dataDir) => [
  browser,
  `--user-data-dir=${dataDir}/profile`,
  '--window-size=1360,840',
  '--no-first-run',
  '--no-default-browser-check',
  `http://127.0.0.1:${port}/`,
];

const launchesAtLeast = (user, n) =>
  waitFor(() => user.launches().length >= n && user.launches(), { what: `browser start ${n}` });

const leftoverTemps = (dir) => readdirSync(dir).filter((f) => f.endsWith('.tmp'));

describe('opening the page', () => {
  test('a browser on the PATH is started in app mode, detached, in the data folder', async () => {
    const user = new LinuxHome();
    const browser = user.addBrowser('/usr/bin/chromium');
    const shell = await user.start();
    try {
      const [launch] = await launchesAtLeast(user, 1);
      assert.deepEqual(launch.argv, appModeArgv(browser, shell.port, user.dataDir));
      assert.equal(launch.cwd, user.dataDir);
      assert.deepEqual([launch.stdout, launch.stderr], ['/dev/null', '/dev/null']);
      // Not the shell's child and not in its session: it outlives the shell and takes no terminal.
      assert.notEqual(launch.ppid, shell.pid);
      assert.notEqual(launch.sid, sessionOf(shell.pid));
      // The shell blocks SIGINT/SIGTERM and ignores SIGPIPE; the browser must start clean.
      assert.equal(launch.SigBlk, '0000000000000000');
      assert.equal(BigInt(`0x${launch.SigIgn}`) & (1n << 12n), 0n, 'SIGPIPE not ignored');

      // The stand-in loads the page, so the watchdog is content and starts nothing more.
      await user.waitForLog('[watchdog]');
      assert.equal(
        user.readLog(),
        `[http] 本地服务已启动 端口=${shell.port}\r\n` +
          `${NO_DISPLAY}\r\n` +
          `[launch] appmode=1 port=${shell.port} browser=${browser} ret=0\r\n` +
          '[watchdog] 主窗口已出现，标题读取正常\r\n',
      );
      assert.equal(user.launches().length, 1);
      assert.deepEqual(user.opens(), []);
      assert.equal(existsSync(join(user.dataDir, 'app.html')), false);
    } finally {
      await shell.stop();
    }
  });

  test('Edge, then Chrome, then Chromium; on the PATH or at their usual paths; only what can run', async () => {
    const user = new LinuxHome();
    const shell = await user.start(['--ball-only']);
    const rows = [
      { present: ['/usr/bin/chromium', '/opt/google/chrome/chrome'], chosen: '/opt/google/chrome/chrome' },
      {
        present: ['/usr/bin/google-chrome', '/opt/microsoft/msedge/msedge'],
        chosen: '/opt/microsoft/msedge/msedge',
      },
      { present: ['/snap/bin/chromium'], notRunnable: ['/usr/bin/microsoft-edge'], chosen: '/snap/bin/chromium' },
      {
        present: ['/usr/bin/chromium-browser'],
        folders: ['/usr/bin/google-chrome'],
        chosen: '/usr/bin/chromium-browser',
      },
    ];
    try {
      for (const [i, row] of rows.entries()) {
        rmSync(user.browserRoot, { recursive: true });
        mkdirSync(user.browserRoot);
        for (const path of row.present) user.addBrowser(path);
        for (const path of row.notRunnable ?? []) user.addBrowser(path, { mode: 0o644 });
        for (const path of row.folders ?? []) mkdirSync(join(user.browserRoot, path), { recursive: true });
        assert.equal((await user.run()).code, 0); // a later start asks this shell to open the page
        const launch = (await launchesAtLeast(user, i + 1))[i];
        assert.equal(launch.argv[0], join(user.browserRoot, row.chosen), row.present.join(' '));
      }
    } finally {
      await shell.stop();
    }
  });

  test('the watchdog retries once in normal mode when no browser asks for the page', async () => {
    const user = new LinuxHome();
    const browser = user.addBrowser('/usr/bin/chromium', { fetches: false });
    const shell = await user.start();
    try {
      const launches = await waitFor(() => user.launches().length >= 2 && user.launches(), {
        timeoutMs: 10000,
        what: 'the watchdog to start the browser again',
      });
      assert.deepEqual(launches[1].argv, normalModeArgv(browser, shell.port, user.dataDir));
      assert.ok(
        user
          .readLog()
          .endsWith(
            '[watchdog] 5 秒内没见到主窗口，改用普通模式重试\r\n' +
              `[launch] appmode=0 port=${shell.port} browser=${browser} ret=0\r\n`,
          ),
      );
      await sleep(5500); // once only
      assert.equal(user.launches().length, 2);
    } finally {
      await shell.stop();
    }
  });

  test('without a browser a stale page file is replaced and opened through xdg-open', async () => {
    const user = new LinuxHome();
    const dataHome = join(user.home, 'my data');
    user.env.XDG_DATA_HOME = dataHome;
    user.dataDir = join(dataHome, 'Doremkin');
    const page = join(user.dataDir, 'app.html');
    mkdirSync(user.dataDir, { recursive: true });
    writeFileSync(page, '<html>an older page</html>');
    const shell = await user.start();
    try {
      const url = `file://${join(user.home, 'my%20data', 'Doremkin', 'app.html')}`;
      const [open] = await waitFor(() => user.opens().length && user.opens(), { what: 'xdg-open' });
      assert.deepEqual(open.argv, [join(user.bin, 'xdg-open'), url]);
      assert.equal(open.cwd, user.dataDir);
      assert.equal(open.stdout, '/dev/null');
      assert.ok(readFileSync(page).equals(PAGE), 'app.html is the embedded page');
      assert.deepEqual(leftoverTemps(user.dataDir), []);
      const lines = `[warn] 端口=${shell.port} 浏览器找到=0，走兜底\r\n[fallback] 直接打开 ${url}\r\n`;
      assert.ok(user.readLog().endsWith(lines));

      // An up-to-date page file is opened as it is, not written again.
      const before = statSync(page);
      assert.equal((await user.run()).code, 0);
      await waitFor(() => user.opens().length === 2, { what: 'the second xdg-open' });
      assert.equal(statSync(page).ino, before.ino);
      assert.equal(statSync(page).mtimeMs, before.mtimeMs);
      assert.equal(shell.err, '');
    } finally {
      await shell.stop();
    }
  });

  test('what cannot be opened is told on standard error and in the log', async () => {
    const rows = [
      {
        name: 'app.html cannot be replaced',
        setup: (user) => mkdirSync(join(user.dataDir, 'app.html', 'x'), { recursive: true }),
        message:
          '打不开：本机既没能启动内置服务，也写不了页面文件。\n' +
          '请把 exe 放到普通文件夹（别放 C 盘根目录或只读目录）再试。',
        log: '[err] 写 app.html 失败\r\n',
      },
      {
        name: 'no xdg-open',
        env: () => ({ PATH: '/nonexistent' }),
        message: '没能自动打开浏览器，请确认电脑上装有 Edge 或 Chrome。',
        log: '[err] 没能自动打开浏览器，请确认电脑上装有 Edge 或 Chrome。\r\n',
      },
      {
        name: 'no data folder',
        setup: (user) => writeFileSync(join(user.home, 'not-a-folder'), ''),
        env: (user) => ({ XDG_DATA_HOME: join(user.home, 'not-a-folder') }),
        message: '无法创建数据目录，请检查磁盘权限。',
      },
    ];
    for (const row of rows) {
      const user = new LinuxHome();
      mkdirSync(user.dataDir, { recursive: true });
      row.setup?.(user);
      user.addBrowser('/usr/bin/chromium', { mode: 0o644 }); // present, but cannot run
      const shell = await user.start([], row.env?.(user));
      try {
        await waitFor(() => shell.err.includes(row.message), { what: `the message for ${row.name}` });
        assert.equal(shell.err, `${row.message}\n`, row.name);
        if (row.log) assert.ok(user.readLog().endsWith(row.log), row.name);
        assert.deepEqual([user.launches(), user.opens()], [[], []], row.name);
        assert.deepEqual(leftoverTemps(user.dataDir), [], row.name);
      } finally {
        await shell.stop();
      }
    }
  });

  test('--ball-only starts no browser', async () => {
    const user = new LinuxHome();
    user.addBrowser('/usr/bin/chromium');
    const shell = await user.start(['--ball-only']);
    try {
      await user.waitForLog('[boot]');
      await sleep(300);
      assert.deepEqual([user.launches(), user.opens()], [[], []]);
    } finally {
      await shell.stop();
    }
  });
});

// A host command as the page sends it.
async function hostCmd(port, query, headers = null) {
  headers ??= `Host: 127.0.0.1:${port}\r\nSec-Fetch-Site: same-origin\r\nX-Vellora-Host: 1\r\n`;
  const reply = await rawRequest(port, `GET /__vlra?${query} HTTP/1.1\r\n${headers}\r\n`);
  return { status: reply.status, json: JSON.parse(reply.body.toString('utf8')) };
}

const ok = (json) => ({ status: 200, json });

const autostartEntry = (exe) =>
  '[Desktop Entry]\nType=Application\nName=Vellora\n' +
  `Exec="${exe}" --ball-only\nTerminal=false\nX-GNOME-Autostart-enabled=true\n`;

describe('host commands', () => {
  test('install: the copy, the application entry and start at log-on, as status reports them', async () => {
    const user = new LinuxHome();
    const shell = await user.start(['--ball-only']);
    const exe = join(user.dataDir, 'vellora');
    const autostart = join(user.home, '.config', 'autostart', 'vellora.desktop');
    try {
      assert.deepEqual(
        await hostCmd(shell.port, 'cmd=status'),
        ok({ kind: 'linux', installed: 0, autostart: 0, installedPath: '' }),
      );
      assert.deepEqual(
        await hostCmd(shell.port, 'cmd=install'),
        ok({ ok: 1, installed: 1, autostart: 1, installedPath: exe }),
      );
      assert.ok(readFileSync(exe).equals(readFileSync(LINUX_SHELL)), 'the copy is this program');
      assert.equal(statSync(exe).mode & 0o100, 0o100, 'the copy can run');
      execFileSync(exe, ['--ball-only'], { env: user.env }); // it runs, hands over and ends with 0
      assert.equal(
        readFileSync(join(user.home, 'data', 'applications', 'vellora.desktop'), 'utf8'),
        `[Desktop Entry]\nType=Application\nName=Vellora\nExec="${exe}"\nTerminal=false\nCategories=Office;\n`,
      );
      assert.equal(readFileSync(autostart, 'utf8'), autostartEntry(exe));
      const lines = `[autostart] 已写入 Run 项："${exe}" --ball-only\r\n[install] 安装完成：${exe}\r\n`;
      assert.ok(user.readLog().endsWith(lines));
      assert.deepEqual(leftoverTemps(user.dataDir), []);
      assert.deepEqual(
        await hostCmd(shell.port, 'cmd=status'),
        ok({ kind: 'linux', installed: 1, autostart: 1, installedPath: exe }),
      );
    } finally {
      await shell.stop();
    }
  });

  test('autostart on and off: before installation the entry starts the running program', async () => {
    const user = new LinuxHome();
    const config = join(user.home, 'cfg');
    const entry = join(config, 'autostart', 'vellora.desktop');
    const shell = await user.start(['--ball-only'], { XDG_CONFIG_HOME: config });
    const status = async () => (await hostCmd(shell.port, 'cmd=status')).json.autostart;
    try {
      assert.deepEqual(await hostCmd(shell.port, 'cmd=autostart&on=1'), ok({ ok: 1, autostart: 1 }));
      assert.equal(readFileSync(entry, 'utf8'), autostartEntry(realpathSync(LINUX_SHELL)));
      assert.equal(await status(), 1);

      assert.deepEqual(await hostCmd(shell.port, 'cmd=autostart&on=0'), ok({ ok: 1, autostart: 0 }));
      assert.equal(existsSync(entry), false);
      assert.equal(await status(), 0);
      assert.ok(user.readLog().endsWith('[autostart] 已删除 Run 项\r\n'));
      assert.deepEqual(await hostCmd(shell.port, 'cmd=autostart&on=0'), ok({ ok: 1, autostart: 0 }));

      // An entry that a desktop settings tool switched off reads as off; switching on enables it.
      writeFileSync(entry, autostartEntry('/elsewhere/vellora').replace('enabled=true', 'enabled=false'));
      assert.equal(await status(), 0);
      assert.deepEqual(await hostCmd(shell.port, 'cmd=autostart&on=1'), ok({ ok: 1, autostart: 1 }));
      assert.equal(await status(), 1);
    } finally {
      await shell.stop();
    }
  });

  test('only the page itself is answered, and only its query counts', async () => {
    const user = new LinuxHome();
    const shell = await user.start(['--ball-only']);
    const port = shell.port;
    const forbidden = { status: 403, json: { ok: 0, error: 'forbidden' } };
    const mark = 'X-Vellora-Host: 1\r\n';
    const site = 'Sec-Fetch-Site: same-origin\r\n';
    const foreign = [
      `Host: 127.0.0.1:${port}\r\nOrigin: https://example.com\r\n${site}${mark}`,
      `Host: 127.0.0.1:${port}\r\nSec-Fetch-Site: cross-site\r\n${mark}`,
      `Host: localhost:${port}\r\n${site}${mark}`,
      `Host: 127.0.0.1:${port + 1}\r\n${site}${mark}`,
      `Host: 127.0.0.1:${port}\r\n${mark}`, // no Sec-Fetch-Site: printf | nc
      `Host: 127.0.0.1:${port}\r\n${site}`, // without the page's header
      `Host: 127.0.0.1:${port}\r\nSec-Fetch-Site : same-origin\r\n${mark}`, // malformed line
      `Host: 127.0.0.1:${port}\r\n${site}${mark} folded\r\n`, // folded line
      '',
    ];
    try {
      for (const headers of foreign) {
        for (const query of ['cmd=autostart&on=1', 'cmd=install']) {
          const what = `${query} with ${JSON.stringify(headers)}`;
          assert.deepEqual(await hostCmd(port, query, headers), forbidden, what);
        }
      }
      assert.equal(existsSync(join(user.home, '.config', 'autostart')), false);
      assert.equal(existsSync(join(user.dataDir, 'vellora')), false);

      // The page's own origin is answered; a cookie "on=1" does not switch anything on.
      const own = `Host: 127.0.0.1:${port}\r\nOrigin: http://127.0.0.1:${port}\r\n${site}${mark}`;
      assert.deepEqual(
        await hostCmd(port, 'cmd=autostart&on=0', `${own}Cookie: on=1\r\n`),
        ok({ ok: 1, autostart: 0 }),
      );
      // Parameters are the query's pairs, never substrings of it.
      const unknown = ok({ ok: 0, error: 'unknown cmd' });
      for (const query of ['xcmd=install', 'a=cmd=install', 'x;cmd=install'])
        assert.deepEqual(await hostCmd(port, query, own), unknown, query);
      assert.deepEqual(await hostCmd(port, 'cmd=autostart&on=0&xon=10', own), ok({ ok: 1, autostart: 0 }));
      assert.equal(existsSync(join(user.dataDir, 'vellora')), false);
      assert.equal(existsSync(join(user.home, '.config', 'autostart', 'vellora.desktop')), false);
    } finally {
      await shell.stop();
    }
  });

  test('a failed autostart write is a [warn] line and the replies say autostart is off', async () => {
    const user = new LinuxHome();
    const config = join(user.home, 'cfg');
    mkdirSync(config);
    writeFileSync(join(config, 'autostart'), ''); // a file where the entry's folder belongs
    const shell = await user.start(['--ball-only'], { XDG_CONFIG_HOME: config });
    const exe = join(user.dataDir, 'vellora');
    try {
      assert.deepEqual(await hostCmd(shell.port, 'cmd=autostart&on=1'), ok({ ok: 0, autostart: 0 }));
      assert.ok(user.readLog().endsWith(`[warn] 没能写入 Run 项："${realpathSync(LINUX_SHELL)}" --ball-only\r\n`));
      assert.doesNotMatch(user.readLog(), /\[autostart\] 已写入/);
      assert.deepEqual(
        await hostCmd(shell.port, 'cmd=install'),
        ok({ ok: 1, installed: 1, autostart: 0, installedPath: exe }),
      );
      assert.ok(user.readLog().endsWith(`[warn] 没能写入 Run 项："${exe}" --ball-only\r\n[install] 安装完成：${exe}\r\n`));
    } finally {
      await shell.stop();
    }
  });

  test('a copy that cannot be made fails the installation and changes nothing else', async () => {
    const user = new LinuxHome();
    mkdirSync(join(user.dataDir, 'vellora', 'x'), { recursive: true }); // a folder in the copy's place
    const shell = await user.start(['--ball-only']);
    try {
      assert.deepEqual(await hostCmd(shell.port, 'cmd=install'), ok({ ok: 0, error: 'copy failed' }));
      assert.ok(user.readLog().endsWith('[install] 拷贝自身失败 err=21\r\n')); // EISDIR
      assert.deepEqual(
        await hostCmd(shell.port, 'cmd=status'),
        ok({ kind: 'linux', installed: 0, autostart: 0, installedPath: '' }),
      );
      assert.equal(existsSync(join(user.home, 'data', 'applications')), false);
      assert.deepEqual(leftoverTemps(user.dataDir), []);
    } finally {
      await shell.stop();
    }
  });
});
