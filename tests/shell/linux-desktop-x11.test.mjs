// The Linux shell's floating ball on an X11 desktop of the test's own (Xvfb with openbox): its
// window, hints and picture, the count read from a stand-in page window's title, clicks and drags,
// the menu, a second start and the watchdog; on a composited desktop, its 32-bit window. No real
// browser is ever started (lib/linux.mjs).
import assert from 'node:assert/strict';
import { existsSync, mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { sleep, waitFor } from './lib/http.mjs';
import { LinuxHome } from './lib/linux.mjs';
import { Desktop, HEIGHT, WIDTH, pixelDiff } from './lib/x11.mjs';

const PAGE_TITLE = (n) => `📝 Vellora · 待批改 ${n}`;

describe('the ball on an X11 desktop', { timeout: 180000 }, () => {
  let desk;
  before(async () => {
    desk = await new Desktop().start();
  });
  after(() => desk.stop());

  // A home with the desktop's DISPLAY, and a shell started with --ball-only (unless told otherwise)
  // whose ball is shown.
  async function startShell(user, args = ['--ball-only']) {
    user.env.DISPLAY = desk.display;
    const shell = await user.start(args);
    const ball = await waitFor(
      () => desk.windowsOfClass('DoremkinBall').find((id) => desk.geometry(id).viewable),
      { what: 'the ball to be shown' },
    );
    await sleep(300); // the window manager has placed it
    shell.ball = ball;
    shell.at = () => desk.geometry(ball);
    return shell;
  }

  const stopShell = async (shell) => {
    await shell.stop();
    await waitFor(() => desk.windowsOfClass('DoremkinBall').length === 0, { what: 'the ball to go' });
  };

  async function ballShows(shell, count) {
    const want = desk.expectedBall(count);
    let diff = -1;
    try {
      await waitFor(
        () => {
          const { x, y } = shell.at();
          diff = pixelDiff(desk.grab(x, y), want);
          return diff === 0;
        },
        { timeoutMs: 4000, stepMs: 250, what: `the ball's picture for ${count}` },
      );
    } catch (e) {
      assert.fail(`${e.message}: ${diff} pixels differ`);
    }
  }

  test('window, hints, default position, and its picture for no window, 0, 7 and 99+', async () => {
    const user = new LinuxHome();
    const shell = await startShell(user);
    try {
      assert.deepEqual(shell.at(), { x: WIDTH - 100, y: HEIGHT - 126, width: 66, height: 66, viewable: true });
      const props = desk.x('xprop', '-id', String(shell.ball));
      assert.match(props, /^WM_CLASS\(STRING\) = "vellora", "DoremkinBall"$/m);
      assert.match(props, /^_NET_WM_NAME\(UTF8_STRING\) = "排期球"$/m);
      assert.match(props, /^_NET_WM_WINDOW_TYPE\(ATOM\) = _NET_WM_WINDOW_TYPE_UTILITY$/m);
      const state = /^_NET_WM_STATE\(ATOM\) = (.*)$/m.exec(props)?.[1].split(', ') ?? [];
      for (const s of ['_NET_WM_STATE_ABOVE', '_NET_WM_STATE_SKIP_TASKBAR', '_NET_WM_STATE_SKIP_PAGER'])
        assert.ok(state.includes(s), `${s} in ${state}`);
      assert.match(props, /Client accepts input or input focus: False/);

      await ballShows(shell, -1);
      // The picture differs with the badge, so the comparisons below can tell the counts apart.
      assert.ok(pixelDiff(desk.expectedBall(-1), desk.expectedBall(7)) > 50);
      assert.ok(pixelDiff(desk.expectedBall(7), desk.expectedBall(99)) > 5);

      const page = await desk.window('📝 Vellora · 全部完成');
      await ballShows(shell, 0);
      page.setTitle(PAGE_TITLE(7));
      await ballShows(shell, 7);
      page.setTitle(PAGE_TITLE(120));
      await ballShows(shell, 99);
      page.close();
      await ballShows(shell, -1);
      // Nothing of this opened a page.
      assert.deepEqual(user.opens(), []);
    } finally {
      await stopShell(shell);
    }
  });

  test('a page window titled with 3 shows 3 within one tick; a click fronts it, so does a 4-pixel move', async () => {
    const user = new LinuxHome();
    const shell = await startShell(user);
    const page = await desk.window(PAGE_TITLE(3));
    const other = await desk.window('Notes');
    try {
      await ballShows(shell, 3);
      assert.equal(desk.activeWindow(), other.id);
      const { x, y } = shell.at();
      await desk.pointer(['mousemove', x + 30, y + 30], ['click', 1]);
      await waitFor(() => desk.activeWindow() === page.id, { what: 'the page window in front' });
      await user.waitForLog('[open] 已有主窗口，直接激活');
      assert.match(user.readLog(), /\[ball\] 单击，打开主窗口\r\n\[open\] 已有主窗口，直接激活\r\n/);

      await sleep(600); // not a double click
      desk.x('xdotool', 'windowactivate', String(other.id));
      await waitFor(() => desk.activeWindow() === other.id, { what: 'the other window in front' });
      await desk.pointer(['mousemove', x + 20, y + 20], ['mousedown', 1], ['mousemove', x + 24, y + 24], ['mouseup', 1]);
      await waitFor(() => desk.activeWindow() === page.id, { what: 'the page window in front again' });
      assert.deepEqual([shell.at().x, shell.at().y], [x, y]);
      assert.equal(existsSync(join(user.dataDir, 'ballpos.txt')), false);
      assert.deepEqual(user.opens(), []);
      assert.deepEqual(user.launches(), []);
    } finally {
      page.close();
      other.close();
      await stopShell(shell);
    }
  });

  test('drags of (5,0), (0,-5) and a long one are saved and restored at the next start', async () => {
    const user = new LinuxHome();
    let shell = await startShell(user);
    try {
      let { x, y } = shell.at();
      for (const [dx, dy] of [
        [5, 0],
        [0, -5],
        [-700, -500],
      ]) {
        const cx = x + 33, cy = y + 33;
        await desk.pointer(['mousemove', cx, cy], ['mousedown', 1], ['mousemove', cx + dx, cy + dy], ['mouseup', 1]);
        await waitFor(() => readFileSync(join(user.dataDir, 'ballpos.txt'), 'utf8') === `${x + dx} ${y + dy}`, {
          what: `ballpos.txt after (${dx},${dy})`,
        }).catch(() => assert.fail(`ballpos.txt holds ${readFileSync(join(user.dataDir, 'ballpos.txt'), 'utf8')}`));
        assert.deepEqual([shell.at().x, shell.at().y], [x + dx, y + dy]);
        x += dx;
        y += dy;
        await sleep(600);
      }
      assert.equal(user.readLog().split('[ball] 已拖动到新位置并保存').length - 1, 3);
      assert.doesNotMatch(user.readLog(), /单击/); // no drag was taken for a click
      await stopShell(shell);
      shell = await startShell(user);
      assert.deepEqual([shell.at().x, shell.at().y], [x, y]);
    } finally {
      await stopShell(shell);
    }
  });

  test('a position file with a negative left gives the default position', async () => {
    const user = new LinuxHome();
    mkdirSync(user.dataDir, { recursive: true });
    writeFileSync(join(user.dataDir, 'ballpos.txt'), '-5 300');
    const shell = await startShell(user);
    try {
      assert.deepEqual([shell.at().x, shell.at().y], [WIDTH - 100, HEIGHT - 126]);
    } finally {
      await stopShell(shell);
    }
  });

  test('a second start fronts the page window and opens no browser', async () => {
    const user = new LinuxHome();
    user.addBrowser('/usr/bin/chromium');
    const shell = await startShell(user);
    const page = await desk.window(PAGE_TITLE(2));
    const other = await desk.window('Notes');
    try {
      assert.equal(desk.activeWindow(), other.id);
      assert.equal((await user.run()).code, 0);
      await waitFor(() => desk.activeWindow() === page.id, { what: 'the page window in front' });
      await user.waitForLog('[open] 已有主窗口，直接激活');
      await sleep(500);
      assert.deepEqual(user.launches(), []);
      assert.deepEqual(user.opens(), []);
    } finally {
      page.close();
      other.close();
      await stopShell(shell);
    }
  });

  test('the watchdog is content with the page window even when the page was not requested', async () => {
    const user = new LinuxHome();
    user.addBrowser('/usr/bin/chromium', { fetches: false });
    const shell = await startShell(user, []);
    let page;
    try {
      await waitFor(() => user.launches().length === 1, { what: 'the browser start' });
      page = await desk.window(PAGE_TITLE(1)); // the browser's window, as far as the shell can tell
      await user.waitForLog('[watchdog]');
      assert.match(user.readLog(), /\[watchdog\] 主窗口已出现，标题读取正常/);
      assert.equal(user.launches().length, 1);
    } finally {
      page?.close();
      await stopShell(shell);
    }
  });

  test('the menu is keyboard operable: start at log-on is switched and told, exit ends the shell', async () => {
    const user = new LinuxHome();
    const shell = await startShell(user);
    const autostart = join(user.home, '.config', 'autostart', 'vellora.desktop');
    const { x, y } = shell.at();
    await desk.pointer(['mousemove', x + 30, y + 30], ['click', 3]);
    const menu = await waitFor(() => desk.windowsOfClass('DoremkinMenu')[0], { what: 'the menu' });
    assert.ok(desk.geometry(menu).viewable);
    await desk.pointer(['key', 'Down'], ['key', 'Down'], ['key', 'Return']); // the second item
    await waitFor(() => existsSync(autostart), { what: 'the autostart entry' });
    const message = await waitFor(() => desk.windowsOfClass('DoremkinMessage')[0], { what: 'the result' });
    assert.equal(desk.windowsOfClass('DoremkinMenu').length, 0);
    assert.match(user.readLog(), /\[ball\] 右键菜单\r\n\[autostart\] [^\r]*\r\n\[ball\] 菜单：开机自启 -> 1\r\n/);
    await desk.pointer(['key', 'Return']);
    await waitFor(() => !desk.windowsOfClass('DoremkinMessage').includes(message), { what: 'the result closed' });

    // Escape dismisses without an action; End and Enter choose the last item, exit.
    await desk.pointer(['mousemove', x + 30, y + 30], ['click', 3]);
    await waitFor(() => desk.windowsOfClass('DoremkinMenu').length === 1, { what: 'the menu again' });
    await desk.pointer(['key', 'Escape']);
    await waitFor(() => desk.windowsOfClass('DoremkinMenu').length === 0, { what: 'the menu dismissed' });
    assert.equal(existsSync(autostart), true);
    await desk.pointer(['click', 3]);
    await waitFor(() => desk.windowsOfClass('DoremkinMenu').length === 1, { what: 'the menu once more' });
    await desk.pointer(['key', 'End'], ['key', 'Return']);
    assert.equal(await shell.exited, 0);
    assert.match(user.readLog(), /\[ball\] 菜单：退出\r\n$/);
  });
});

describe('the ball on a composited X11 desktop', { timeout: 120000 }, () => {
  let desk;
  before(async () => {
    desk = await new Desktop().start({ compositor: true });
  });
  after(() => desk.stop());

  test('uses a 32-bit visual with per-pixel alpha: the ball shows, its corners let the desktop through', async () => {
    const user = new LinuxHome();
    user.env.DISPLAY = desk.display;
    const shell = await user.start(['--ball-only']);
    try {
      const ball = await waitFor(
        () => desk.windowsOfClass('DoremkinBall').find((id) => desk.geometry(id).viewable),
        { what: 'the ball to be shown' },
      );
      assert.match(desk.x('xwininfo', '-id', String(ball)), /Depth: 32/);
      // A transparent corner shows the desktop behind it (as the pixel beside the ball does), the
      // ball's middle is drawn: an ARGB window whose alpha is wrong is an opaque square or invisible.
      await waitFor(
        () => {
          const { x, y } = desk.geometry(ball);
          const behind = [...desk.grab(x - 4, y - 4, 1)];
          const px = desk.grab(x, y);
          const at = (cx, cy) => [...px.subarray((cy * 66 + cx) * 3, (cy * 66 + cx) * 3 + 3)];
          const far = (a, b) => a.some((v, i) => Math.abs(v - b[i]) > 60);
          return !far(at(0, 0), behind) && !far(at(65, 65), behind) && far(at(33, 33), behind);
        },
        { timeoutMs: 5000, stepMs: 250, what: 'the composited ball' },
      );
    } finally {
      await shell.stop();
    }
  });
});
