// A desktop of the test's own: Xvfb on a display it picks itself (-displayfd) with openbox as an
// EWMH window manager, and the X tools that look at it and drive it (xdotool, xprop, xwininfo,
// ImageMagick's import). Stand-in windows come from the fixture build/linux/fixtures/x11_window.
import { execFileSync, spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { repoPath } from './paths.mjs';
import { sleep, waitFor } from './http.mjs';

export const WIDTH = 1280;
export const HEIGHT = 1024;
const FIXTURES = repoPath('build/linux/fixtures');

export class Desktop {
  // With `compositor`, xcompmgr composites the desktop (it owns _NET_WM_CM_S0 while it runs).
  async start({ compositor = false } = {}) {
    this.home = mkdtempSync(join(tmpdir(), 'vellora-x11-'));
    this.xvfb = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', `${WIDTH}x${HEIGHT}x24`, '-br', '-nolisten', 'tcp'], {
      stdio: ['ignore', 'ignore', 'ignore', 'pipe'],
    });
    const number = await new Promise((resolve, reject) => {
      let text = '';
      this.xvfb.stdio[3].on('data', (d) => {
        text += d;
        if (text.includes('\n')) resolve(text.trim());
      });
      this.xvfb.once('exit', () => reject(new Error('Xvfb did not start')));
    });
    this.display = `:${number}`;
    this.env = { ...process.env, DISPLAY: this.display, HOME: this.home, XDG_CONFIG_HOME: join(this.home, 'config') };
    this.children = [];
    this.wm = spawn('openbox', ['--sm-disable'], { env: this.env, stdio: 'ignore' });
    await waitFor(() => this.x('xprop', '-root', '_NET_SUPPORTING_WM_CHECK').includes('window id'), {
      what: 'openbox',
    });
    if (compositor) {
      this.cm = spawn('xcompmgr', [], { env: this.env, stdio: 'ignore' });
      await sleep(1000); // it takes the compositing selection as it starts
      if (this.cm.exitCode !== null) throw new Error('xcompmgr did not start');
    }
    return this;
  }

  x(tool, ...args) {
    try {
      return execFileSync(tool, args, { env: this.env, encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });
    } catch (e) {
      return e.stdout ?? '';
    }
  }

  // Runs xdotool commands one at a time, with a short pause so the window manager keeps up.
  async pointer(...steps) {
    for (const step of steps) {
      this.x('xdotool', ...step.map(String));
      await sleep(80);
    }
  }

  windowsOfClass(cls) {
    return this.x('xdotool', 'search', '--class', cls).split('\n').filter(Boolean).map(Number);
  }

  geometry(id) {
    const info = this.x('xwininfo', '-id', String(id));
    const num = (label) => Number(new RegExp(`${label}:\\s+(-?\\d+)`).exec(info)?.[1]);
    return {
      x: num('Absolute upper-left X'),
      y: num('Absolute upper-left Y'),
      width: num('Width'),
      height: num('Height'),
      viewable: info.includes('IsViewable'),
    };
  }

  activeWindow() {
    return Number(/window id # (0x[0-9a-f]+)/.exec(this.x('xprop', '-root', '_NET_ACTIVE_WINDOW'))?.[1] ?? 0);
  }

  // 66x66 RGB bytes of the screen at (x, y).
  grab(x, y, size = 66) {
    return execFileSync('import', ['-window', 'root', '-crop', `${size}x${size}+${x}+${y}`, '-depth', '8', 'rgb:-'], {
      env: this.env,
    });
  }

  // What the ball should show for `count` on this desktop (no compositor: the shaped picture).
  expectedBall(count) {
    return execFileSync(join(FIXTURES, 'x11_ballpic'), [String(count)], { env: this.env });
  }

  // A top-level window titled `title`; setTitle() renames it.
  async window(title) {
    const child = spawn(join(FIXTURES, 'x11_window'), [title], { env: this.env, stdio: ['pipe', 'pipe', 'ignore'] });
    this.children.push(child);
    let out = '';
    child.stdout.on('data', (d) => (out += d));
    const id = await waitFor(() => (out.includes('\n') ? Number(out.trim()) : 0), { what: `window "${title}"` });
    await waitFor(() => this.x('xprop', '-root', '_NET_CLIENT_LIST').includes(`0x${id.toString(16)}`), {
      what: `window "${title}" managed`,
    });
    return {
      id,
      setTitle: (t) => child.stdin.write(`${t}\n`),
      close: () => child.stdin.end(),
    };
  }

  async stop() {
    for (const c of this.children) c.stdin.end();
    for (const p of [this.cm, this.wm, this.xvfb]) {
      if (!p) continue;
      if (p.exitCode === null && p.signalCode === null) {
        const gone = new Promise((r) => p.once('exit', r));
        p.kill('SIGTERM');
        await Promise.race([gone, sleep(3000)]);
      }
    }
    rmSync(this.home, { recursive: true, force: true });
  }
}

// Number of pixels that differ between two RGB buffers.
export function pixelDiff(a, b) {
  let n = 0;
  for (let i = 0; i < Math.max(a.length, b.length); i += 3)
    if (a[i] !== b[i] || a[i + 1] !== b[i + 1] || a[i + 2] !== b[i + 2]) n++;
  return n;
}
