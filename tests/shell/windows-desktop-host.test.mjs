// The page's host commands against the Windows shell under Wine: installation for the current user,
// start at log-on, the installation state, and refusal of requests that do not come from the page.
import assert from 'node:assert/strict';
import { existsSync, readFileSync, realpathSync, rmSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { rawRequest, waitFor } from './lib/http.mjs';
import { EXE, Wine } from './lib/wine.mjs';

const wine = new Wine();
const logPath = join(wine.dataDir, 'launch.log');
const readLog = () => (existsSync(logPath) ? readFileSync(logPath, 'utf8') : '');
const RUN_KEY = 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run';
const installedWin = `${wine.winDataDir}\\Vellora.exe`;
const jsonPath = (p) => p.replaceAll('\\', '\\\\');

const userDir = join(wine.prefix, 'drive_c/users', wine.user);
const desktopLink = join(userDir, 'Desktop/Vellora.lnk');
const programsLink = join(userDir, 'AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Vellora.lnk');

// The Run value "Doremkin" as `reg query` prints it, or null when there is none.
function runValue() {
  const r = wine.reg('query', RUN_KEY, '/v', 'Doremkin');
  if (r.status !== 0) return null;
  const m = /Doremkin\s+(REG_\w+)\s+(.*?)\r?$/m.exec(r.stdout);
  return m ? { type: m[1], data: m[2] } : null;
}

let port = 0;

const removeShortcuts = () => [desktopLink, programsLink].forEach((link) => rmSync(link, { force: true }));

// A host command as the page sends it: its own Host, Origin and Sec-Fetch-Site, unless replaced.
async function hostCmd(query, { host, origin, site = 'same-origin', mark = true, extra = '' } = {}) {
  const lines = [
    `GET /__vlra?${query} HTTP/1.1`,
    `Host: ${host ?? `127.0.0.1:${port}`}`,
    `Origin: ${origin ?? `http://127.0.0.1:${port}`}`,
    `Sec-Fetch-Site: ${site}`,
    'Sec-Fetch-Mode: cors',
    ...(mark ? ['X-Vellora-Host: 1'] : []),
    ...(extra ? [extra] : []),
  ];
  const reply = await rawRequest(port, `${lines.join('\r\n')}\r\n\r\n`);
  return { status: reply.status, head: reply.head, body: reply.body.toString('utf8') };
}

before(async () => {
  await wine.boot();
  await wine.stopAll();
  await wine.reset();
  removeShortcuts();
  const shell = wine.start(EXE, ['--ball-only']);
  port = await waitFor(() => Number(/\[http\] 本地服务已启动 端口=(\d+)/.exec(readLog())?.[1] ?? 0), {
    timeoutMs: 30000,
    what: 'the [http] log line',
  });
  await waitFor(async () => (await wine.ballInfo()).found, { timeoutMs: 15000, what: 'the ball' });
  assert.equal(shell.exitCode, null);
}, { timeout: 240000 });

after(async () => {
  await wine.stopAll();
  removeShortcuts();
  await wine.close();
});

describe('requests that do not come from the page', () => {
  // Each as a function: the port is known only once the shell runs.
  const foreign = [
    ['an Origin of another site', () => ({ origin: 'http://evil.example' })],
    ['an Origin on another loopback port', () => ({ origin: `http://127.0.0.1:${port + 1}` })],
    ['the Host "localhost"', () => ({ host: `localhost:${port}` })],
    ['the Host of a rebound name', () => ({ host: 'attacker.example' })],
    ['Sec-Fetch-Site cross-site', () => ({ site: 'cross-site' })],
    ['no X-Vellora-Host header', () => ({ mark: false })],
  ];

  test('get 403 with the forbidden body and change nothing', async () => {
    for (const [what, headers] of foreign) {
      for (const query of ['cmd=install', 'cmd=autostart&on=1', 'cmd=status']) {
        const reply = await hostCmd(query, headers());
        assert.equal(reply.status, 403, `${what}, ${query}`);
        assert.match(reply.head, /^HTTP\/1\.1 403 Forbidden\r\n/);
        assert.match(reply.head, /\r\nContent-Type: application\/json; charset=utf-8\r\n/);
        assert.equal(reply.body, '{"ok":0,"error":"forbidden"}', `${what}, ${query}`);
      }
    }
    assert.equal(runValue(), null, 'no Run value');
    assert.equal(existsSync(join(wine.dataDir, 'Vellora.exe')), false, 'no installed copy');
    assert.equal(existsSync(desktopLink), false, 'no desktop shortcut');
    assert.doesNotMatch(readLog(), /\[install\]|\[autostart\]/);
  });

  test('a cookie holding on=1 does not switch start at log-on on', async () => {
    const reply = await hostCmd('cmd=autostart&on=0', { extra: 'Cookie: on=1; cmd=install' });
    assert.equal(reply.status, 200);
    assert.equal(reply.body, '{"ok":1,"autostart":0}');
    assert.equal(runValue(), null);
  });
});

describe('installation and start at log-on', () => {
  test('status before installing: nothing installed, no start at log-on', async () => {
    const reply = await hostCmd('cmd=status');
    assert.equal(reply.status, 200);
    assert.equal(reply.body, '{"kind":"win","installed":0,"autostart":0,"installedPath":""}');
  });

  test('install copies the program, makes both shortcuts and the Run value', async () => {
    const reply = await hostCmd('cmd=install');
    assert.equal(reply.status, 200);
    assert.equal(reply.body, `{"ok":1,"installed":1,"autostart":1,"installedPath":"${jsonPath(installedWin)}"}`);

    const copy = join(wine.dataDir, 'Vellora.exe');
    assert.ok(readFileSync(copy).equals(readFileSync(EXE)), 'the installed copy is this program');

    // Each shortcut names the installed program and the data folder as working directory.
    const utf16 = (s) => Buffer.from(s, 'utf16le');
    for (const link of [desktopLink, programsLink]) {
      assert.ok(existsSync(link), `${link} exists`);
      const bytes = readFileSync(link);
      assert.ok(bytes.includes(utf16(wine.winDataDir)), `${link}: working directory`);
      assert.ok(
        bytes.includes(Buffer.from(installedWin, 'latin1')) || bytes.includes(utf16(installedWin)) ||
          bytes.includes(Buffer.from(realpathSync(copy))),
        `${link}: target`,
      );
    }

    assert.deepEqual(runValue(), { type: 'REG_SZ', data: `"${installedWin}" --ball-only` });
    assert.match(readLog(), new RegExp(`\\[install\\] 安装完成：${installedWin.replaceAll('\\', '\\\\')}\\r\\n`));
  });

  test('status after installing reports the copy and start at log-on', async () => {
    const reply = await hostCmd('cmd=status');
    assert.equal(reply.body, `{"kind":"win","installed":1,"autostart":1,"installedPath":"${jsonPath(installedWin)}"}`);
  });

  test('start at log-on switches off and on again through the registry', async () => {
    const rounds = [
      ['cmd=autostart&on=0', '{"ok":1,"autostart":0}', null, 0],
      ['cmd=autostart&on=0', '{"ok":1,"autostart":0}', null, 0], // no value to delete: still done
      ['cmd=autostart&on=1', '{"ok":1,"autostart":1}', { type: 'REG_SZ', data: `"${installedWin}" --ball-only` }, 1],
    ];
    for (const [query, body, value, statusAutostart] of rounds) {
      const reply = await hostCmd(query);
      assert.equal(reply.body, body, query);
      assert.deepEqual(runValue(), value, query);
      const status = JSON.parse((await hostCmd('cmd=status')).body);
      assert.equal(status.autostart, statusAutostart, `status after ${query}`);
    }
    assert.match(readLog(), /\[autostart\] 已删除 Run 项\r\n/);
  });

  test('a Run value set by hand to an empty string reads as off', async () => {
    assert.equal(wine.reg('add', RUN_KEY, '/v', 'Doremkin', '/t', 'REG_SZ', '/d', '', '/f').status, 0);
    assert.equal(JSON.parse((await hostCmd('cmd=status')).body).autostart, 0);
  });
});
