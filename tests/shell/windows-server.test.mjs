// The Windows shell under Wine, observed from outside: its log, its port, its window.
import assert from 'node:assert/strict';
import { existsSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { answers, holdPort, sleep, waitFor } from './lib/http.mjs';
import { serverChecks } from './lib/server-checks.mjs';
import { EXE, Wine } from './lib/wine.mjs';

const wine = new Wine();
const logPath = join(wine.dataDir, 'launch.log');
const readLog = () => (existsSync(logPath) ? readFileSync(logPath, 'utf8') : '');
const portLoggedAfter = (offset) =>
  Number(/\[http\] 本地服务已启动 端口=(\d+)/.exec(readLog().slice(offset))?.[1] ?? 0);

async function startShell(args = []) {
  const logged = readLog().length;
  const shell = wine.start(EXE, args);
  const port = await waitFor(() => portLoggedAfter(logged), { timeoutMs: 30000, what: 'the [http] log line' });
  await waitFor(async () => (await wine.ballInfo()).found, { timeoutMs: 15000, what: 'the ball' });
  return { shell, port };
}

async function closeBall() {
  assert.equal((await wine.ballctl('post', '0x111', '2', '0')).code, 0); // WM_COMMAND, exit
}

before(() => wine.boot(), { timeout: 240000 });
after(() => wine.close());

describe('a running shell', () => {
  let first;
  before(async () => {
    await wine.reset();
    first = await startShell();
  }, { timeout: 60000 });

  serverChecks(() => first.port);

  test('a second start hands over, exits 0 within 1 s, and the first keeps serving', async () => {
    // No browser here: the first shell answers the hand-over by opening the page file again.
    const fallbacks = () => readLog().split('[fallback]').length - 1;
    const before = fallbacks();
    const started = Date.now();
    const second = await wine.run(EXE);
    const took = Date.now() - started;
    assert.equal(second.code, 0);
    assert.ok(took < 1000, `second start took ${took} ms`);
    assert.ok(await answers(first.port));
    await waitFor(() => fallbacks() > before, { what: 'the hand-over reaching the first shell' });
  });

  test('the ball window exists with its class, name and size', async () => {
    const ball = await wine.ballInfo();
    assert.equal(ball.class, 'DoremkinBall');
    assert.equal(ball.name, '排期球');
    assert.deepEqual([ball.width, ball.height], [66, 66]);
  });

  test('closing the ball ends the shell with 0 and the port stops answering', async () => {
    await closeBall();
    assert.equal(await first.shell.exited, 0);
    assert.equal(await answers(first.port), false);
  });

  test('the launch log is UTF-8 without a byte-order mark, lines ending in CR LF', () => {
    const bytes = readFileSync(logPath);
    assert.notDeepEqual([...bytes.subarray(0, 3)], [0xef, 0xbb, 0xbf]);
    const text = new TextDecoder('utf-8', { fatal: true }).decode(bytes);
    assert.ok(text.endsWith('\r\n'));
    assert.equal(text.replaceAll('\r\n', '').includes('\n'), false, 'no bare LF');
    assert.match(text, /^\[http\] 本地服务已启动 端口=\d+\r\n/);
  });
});

describe('start modes and restarts', () => {
  before(() => wine.reset());

  test('--ball-only logs the boot line and opens nothing', async () => {
    const { shell } = await startShell(['--ball-only']);
    await sleep(300);
    assert.match(readLog(), /\r\n\[boot\] 开机自启：只挂悬浮球，不弹主窗口\r\n/);
    assert.doesNotMatch(readLog(), /\[(open|launch|warn|fallback)\]/);
    await closeBall();
    assert.equal(await shell.exited, 0);
  });

  test('the page keeps its address across restarts', async () => {
    const a = await startShell(['--ball-only']);
    await closeBall();
    assert.equal(await a.shell.exited, 0);
    const logged = readLog().length;
    const b = await startShell(['--ball-only']);
    const ports = [...readLog().slice(logged).matchAll(/端口=(\d+)/g)].map((m) => Number(m[1]));
    assert.deepEqual(ports, [a.port]);
    await closeBall();
    await b.shell.exited;
  });

  test('a taken port is replaced and the change is logged', async () => {
    const a = await startShell(['--ball-only']);
    await closeBall();
    await a.shell.exited;
    const blocker = await holdPort(a.port);
    try {
      const logged = readLog().length;
      const b = await startShell(['--ball-only']);
      const tail = readLog().slice(logged);
      assert.notEqual(b.port, a.port);
      assert.match(tail, new RegExp(`\\[warn\\] 上次的端口 ${a.port} 被占用，改用端口 ${b.port}`));
      assert.equal(readFileSync(join(wine.dataDir, 'port.txt'), 'utf8'), String(b.port));
      await closeBall();
      await b.shell.exited;
    } finally {
      blocker.kill();
    }
  });
});
