// Runs the Windows shell under Wine with a display from Xvfb, in a prefix of the test run's own,
// and looks at what it leaves behind (files, registry).
import { spawn, spawnSync } from 'node:child_process';
import { existsSync, mkdirSync, readFileSync, rmSync } from 'node:fs';
import { userInfo } from 'node:os';
import { join } from 'node:path';
import { repoPath } from './paths.mjs';
import { sleep, waitFor } from './http.mjs';

export const EXE = repoPath('build/windows/Vellora.exe');
export const FIXTURES = repoPath('build/windows/fixtures');

let xvfb = null;

function ensureDisplay() {
  if (process.env.DISPLAY) return process.env.DISPLAY;
  let n = 90;
  while (existsSync(`/tmp/.X11-unix/X${n}`) || existsSync(`/tmp/.X${n}-lock`)) n += 1;
  xvfb = spawn('Xvfb', [`:${n}`, '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'], { stdio: 'ignore' });
  return `:${n}`;
}

export class Wine {
  constructor() {
    this.display = ensureDisplay();
    this.prefix = process.env.VL_WINEPREFIX || repoPath('build/wine/prefix');
    this.home = `${this.prefix}-home`; // Wine links Desktop and Documents into HOME: keep it ours
    mkdirSync(this.home, { recursive: true });
    this.env = {
      ...process.env,
      WINEPREFIX: this.prefix,
      HOME: this.home,
      WINEDEBUG: '-all',
      WINEDLLOVERRIDES: 'winemenubuilder.exe=d;mscoree=d;mshtml=d',
      DISPLAY: this.display,
    };
    this.user = userInfo().username;
    this.localAppData = join(this.prefix, 'drive_c/users', this.user, 'AppData/Local');
    this.dataDir = join(this.localAppData, 'Doremkin');
    this.winDataDir = `C:\\users\\${this.user}\\AppData\\Local\\Doremkin`;
    this.openedUrlsFile = join(this.prefix, 'opened-urls.txt');
    this.children = new Set();
  }

  async boot() {
    if (!existsSync(join(this.prefix, 'system.reg'))) {
      const r = spawnSync('wineboot', ['-i'], { env: this.env, stdio: 'ignore', timeout: 180000 });
      if (r.status !== 0) throw new Error(`wineboot failed (${r.status})`);
    }
    await waitFor(() => existsSync(join(this.prefix, 'system.reg')), { what: 'the Wine prefix' });
    this.keepHostBrowserAway();
    return this;
  }

  // What the shell opens through the system (the page file's URL) goes to Wine's winebrowser,
  // which would start the host's own browser: let it write the URL down instead. A prefix made
  // without mshtml also lacks the ".html" file type that every Windows has; add it (Wine does not
  // look into the user's own classes here).
  keepHostBrowserAway() {
    const recorder = `/bin/sh ${repoPath('tests/shell/lib/record-url.sh')} ${this.openedUrlsFile}`;
    if (recorder.length > 250 || /[ ,"]/.test(repoPath('') + this.openedUrlsFile))
      throw new Error('the URL recorder needs a short path without spaces or commas');
    const settings = [
      ['HKCU\\Software\\Wine\\WineBrowser', '/v', 'Browsers', '/t', 'REG_SZ', '/d', recorder],
      ['HKCR\\.html', '/ve', '/t', 'REG_SZ', '/d', 'htmlfile'],
    ];
    for (const setting of settings) {
      const r = this.reg('add', ...setting, '/f');
      if (r.status !== 0) throw new Error(`could not set ${setting[0]}: ${r.stderr}`);
    }
  }

  // URLs handed to the system's browser since the last reset, in order.
  openedUrls() {
    return existsSync(this.openedUrlsFile) ? readFileSync(this.openedUrlsFile, 'utf8').split('\n').filter(Boolean) : [];
  }

  // Starts a Windows program; `exited` resolves to its exit code.
  start(exe, args = [], { env = {} } = {}) {
    const child = spawn('wine', [exe, ...args], { env: { ...this.env, ...env }, stdio: ['ignore', 'pipe', 'pipe'] });
    child.stdoutText = '';
    child.stdout.on('data', (d) => (child.stdoutText += d));
    child.stderr.on('data', () => {});
    child.exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
    this.children.add(child);
    child.exited.then(() => this.children.delete(child));
    return child;
  }

  // Runs a program to its end; resolves to { code, stdout }.
  async run(exe, args = [], options = {}) {
    const child = this.start(exe, args, options);
    const code = await child.exited;
    return { code, stdout: child.stdoutText };
  }

  ballctl(...args) {
    return this.run(join(FIXTURES, 'ballctl.exe'), args);
  }

  async ballInfo() {
    const { stdout } = await this.ballctl('info');
    return JSON.parse(stdout.trim().split('\n').pop() || '{"found":0}');
  }

  reg(...args) {
    return spawnSync('wine', ['reg', ...args], { env: this.env, encoding: 'utf8' });
  }

  // Ends every program started here and forgets what the shell stored, for the next test.
  async reset() {
    for (const child of this.children) child.kill('SIGKILL');
    await Promise.all([...this.children].map((c) => c.exited));
    await sleep(200);
    rmSync(this.dataDir, { recursive: true, force: true });
    rmSync(this.openedUrlsFile, { force: true });
    this.reg('delete', 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run', '/v', 'Doremkin', '/f');
  }

  // Ends every process of the prefix, also those the shell started itself (a browser), and waits
  // until they are gone.
  async stopAll() {
    spawnSync('wineserver', ['-k'], { env: this.env });
    spawnSync('wineserver', ['-w'], { env: this.env, timeout: 30000 });
    await Promise.all([...this.children].map((c) => c.exited));
  }

  async close() {
    await this.reset();
    spawnSync('wineserver', ['-k'], { env: this.env });
    if (xvfb) xvfb.kill();
  }
}
