// The floating ball of the Windows shell under Wine: its window, its picture following the page
// window's title, clicks, double clicks and drags, and its remembered position.
import assert from 'node:assert/strict';
import { existsSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { waitFor } from './lib/http.mjs';
import { placeBrowser, removeBrowsers } from './lib/standin-browser.mjs';
import { EXE, Wine } from './lib/wine.mjs';

const wine = new Wine();
const logPath = join(wine.dataDir, 'launch.log');
const posPath = join(wine.dataDir, 'ballpos.txt');
const readLog = () => (existsSync(logPath) ? readFileSync(logPath, 'utf8') : '');
const logLines = () => readLog().split('\r\n').filter(Boolean);

const WS_POPUP = 0x80000000;
const WS_VISIBLE = 0x10000000;
const WS_CLIPSIBLINGS = 0x04000000; // added to every top-level window by the system
const WS_EX_NOACTIVATE = 0x08000000;
const WS_EX_LAYERED = 0x00080000;
const WS_EX_TOOLWINDOW = 0x00000080;
const WS_EX_TOPMOST = 0x00000008;

const DIGIT = 'ff698a'; // the badge's digits, opaque
const WHITE = 'ffffff';
const DISC_AT_BADGE = 'ff94ab'; // the disc's gradient at (50, 16), where the badge sits

// The ball as the screen shows it: pixel (x, y) as "rrggbb".
async function screenPicture() {
  const { code, stdout } = await wine.ballctl('pixels');
  assert.equal(code, 0, 'ballctl pixels');
  const rows = stdout.trim().split(/\r?\n/);
  assert.equal(rows.length, 66);
  const at = (x, y) => rows[y].slice(x * 6, x * 6 + 6);
  const digits = [];
  for (let y = 0; y < 66; y++) for (let x = 0; x < 66; x++) if (at(x, y) === DIGIT) digits.push([x, y]);
  const xs = digits.map(([x]) => x);
  return { at, digits, digitsWidth: digits.length ? Math.max(...xs) - Math.min(...xs) + 1 : 0 };
}

// The badge as seen: absent, or the width of the digits' pixels.
const badgeOf = (pic) =>
  pic.digits.length === 0 && pic.at(50, 16) === DISC_AT_BADGE && pic.at(40, 16) !== WHITE
    ? 'none'
    : pic.digits.length > 0 && pic.at(40, 16) === WHITE
      ? pic.digitsWidth
      : `unclear: ${pic.digits.length} digit pixels, (40,16) ${pic.at(40, 16)}, (50,16) ${pic.at(50, 16)}`;

async function startShell(args = []) {
  const logged = readLog().length;
  const shell = wine.start(EXE, args);
  await waitFor(() => readLog().slice(logged).includes('[http]'), { timeoutMs: 30000, what: 'the [http] log line' });
  await waitFor(async () => (await wine.ballInfo()).found, { timeoutMs: 15000, what: 'the ball' });
  return shell;
}

async function exitShell(shell) {
  assert.equal((await wine.ballctl('post', '0x111', '2', '0')).code, 0); // WM_COMMAND, exit
  assert.equal(await shell.exited, 0);
}

// Runs a ballctl gesture and returns the log lines it caused, once they stop coming.
async function gesture(...args) {
  const before = logLines().length;
  assert.equal((await wine.ballctl(...args)).code, 0, `ballctl ${args.join(' ')}`);
  let seen = -1;
  await waitFor(
    () => {
      const now = logLines().length;
      const settled = now === seen;
      seen = now;
      return settled;
    },
    { stepMs: 400, what: 'the log to settle' },
  );
  return logLines().slice(before);
}

const CLICK = ['[ball] 单击，打开主窗口', '[open] 已有主窗口，直接激活'];
const DOUBLE = [...CLICK, '[ball] 双击，打开主窗口', '[open] 已有主窗口，直接激活'];
const DRAGGED = ['[ball] 已拖动到新位置并保存'];

before(async () => {
  await wine.boot();
  await wine.stopAll();
  await wine.reset();
  removeBrowsers(wine);
}, { timeout: 240000 });

after(async () => {
  await wine.stopAll();
  await wine.reset();
  removeBrowsers(wine);
  await wine.close();
});

describe('the ball beside the page window', () => {
  let shell;
  let browser;
  before(async () => {
    browser = placeBrowser(wine, 'edge');
    shell = await startShell();
    await waitFor(() => browser.fetches().length, { timeoutMs: 20000, what: 'the page window' });
  }, { timeout: 90000 });

  test('is a 66x66 layered, topmost, non-activating tool popup named 排期球', async () => {
    const ball = await wine.ballInfo();
    assert.deepEqual([ball.class, ball.name, ball.width, ball.height, ball.visible], ['DoremkinBall', '排期球', 66, 66, 1]);
    assert.equal((ball.style & ~(WS_VISIBLE | WS_CLIPSIBLINGS)) >>> 0, WS_POPUP);
    assert.equal(ball.exstyle, WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
    // With no stored position it sits 34 pixels from the right and 60 above the bottom.
    assert.deepEqual([ball.left, ball.top], [ball.screenWidth - 100, ball.screenHeight - 126]);
  });

  test('shows the pending count of the window title, and no badge when all is done', async () => {
    const seen = {};
    for (const [title, count] of [['📝 Vellora · 待批改 3', 3], ['📝 Vellora · 待批改 12', 12], ['📝 Vellora · 全部完成', 0]]) {
      browser.setTitle(title);
      // The ball reads the titles every 3 s.
      seen[count] = await waitFor(
        async () => {
          const badge = badgeOf(await screenPicture());
          return (count === 0 ? badge === 'none' : typeof badge === 'number' && badge !== seen[3]) && badge;
        },
        { timeoutMs: 8000, stepMs: 500, what: `the ball for "${title}"` },
      );
    }
    assert.ok(seen[12] > seen[3], `two digits (${seen[12]} px) are wider than one (${seen[3]} px)`);
  });

  test('a click and a press moved by 4 pixels open the page window', async () => {
    assert.deepEqual(await gesture('click'), CLICK);
    assert.deepEqual(await gesture('drag', '4', '-4'), CLICK);
    assert.equal(existsSync(posPath), false, 'a click stores no position');
  });

  test('a double click opens it twice: at the first release and at the double click', async () => {
    assert.deepEqual(await gesture('dblclick'), DOUBLE);
  });

  test('a drag of 5 pixels or more moves the ball and stores its place', async () => {
    for (const [dx, dy] of [[5, 0], [0, -5], [-130, -200]]) {
      const from = await wine.ballInfo();
      assert.deepEqual(await gesture('drag', String(dx), String(dy)), DRAGGED, `drag ${dx},${dy}`);
      const to = await wine.ballInfo();
      assert.deepEqual([to.left, to.top], [from.left + dx, from.top + dy], `drag ${dx},${dy}`);
      assert.equal(readFileSync(posPath, 'latin1'), `${to.left} ${to.top}`);
    }
    assert.equal(browser.starts().length, 1, 'no drag opened the page');
  });

  test('a restart puts the ball where it was left', async () => {
    const left = await wine.ballInfo();
    await exitShell(shell);
    shell = await startShell(['--ball-only']);
    const ball = await wine.ballInfo();
    assert.deepEqual([ball.left, ball.top], [left.left, left.top]);
    assert.equal(readFileSync(posPath, 'latin1'), `${ball.left} ${ball.top}`);
  });
});

describe('the ball without a page window', () => {
  let browser;
  before(async () => {
    await wine.stopAll(); // the page window of the group before goes too
    await wine.reset();
    browser = placeBrowser(wine, 'edge');
    await startShell(['--ball-only']);
  }, { timeout: 90000 });

  test('a click launches the browser in app mode', async () => {
    const lines = await gesture('click');
    assert.equal(lines[0], '[ball] 单击，打开主窗口');
    assert.match(lines[1] ?? '', /^\[launch\] appmode=1 port=\d+ browser=.*msedge\.exe ret=\d+$/);
    await waitFor(() => browser.starts().length === 1, { what: 'the browser start' });
    assert.match(browser.starts()[0], / --app="http:\/\/127\.0\.0\.1:\d+\/" /);
  });

  test('the badge goes when the page window closes', async () => {
    const badge = async () => badgeOf(await screenPicture());
    browser.setTitle('📝 Vellora · 待批改 5');
    await waitFor(async () => typeof (await badge()) === 'number', { timeoutMs: 8000, stepMs: 500, what: 'the badge' });
    browser.setTitle(null); // closes the window
    await waitFor(async () => (await badge()) === 'none', { timeoutMs: 8000, stepMs: 500, what: 'no badge' });
  });
});
