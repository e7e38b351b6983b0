// Runs the native Linux shell with a home and data folder of the test's own, where it can never
// start a real browser: the browser search looks under an empty folder of the test's (through
// VELLORA_BROWSER_ROOT), and xdg-open is a stand-in that records what it was asked to open.
import { spawn } from 'node:child_process';
import { chmodSync, existsSync, mkdirSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { repoPath } from './paths.mjs';
import { waitFor } from './http.mjs';

export const LINUX_SHELL = repoPath('build/linux/vellora');
export const NO_DISPLAY = '[ball] 没有图形桌面（DISPLAY 未设置），只提供本地服务，不显示悬浮球';

// A stand-in program: records its command line, working folder, standard streams, process
// status and signal state as a block in `record`, then runs `then` (shell code) if given.
function recorder(record, tag, then = '') {
  return `#!/bin/sh
out=$(readlink /proc/$$/fd/1)
err=$(readlink /proc/$$/fd/2)
block=$(
  echo "--- ${tag}"
  printf 'arg %s\\n' "$0" "$@"
  echo "cwd $(pwd)"
  echo "stdout $out"
  echo "stderr $err"
  echo "stat $(cat /proc/$$/stat)"
  grep -E '^Sig(Blk|Ign):' /proc/$$/status
)
printf '%s\\n' "$block" >> '${record}' # one write, so a reader never sees half a record
${then}
`;
}

function readRecords(path, tag) {
  if (!existsSync(path)) return [];
  return readFileSync(path, 'utf8')
    .split(`--- ${tag}\n`)
    .slice(1)
    .map((block) => {
      const r = { argv: [] };
      for (const line of block.split('\n')) {
        const [key, ...rest] = line.split(/ |:\t/);
        const value = rest.join(' ');
        if (key === 'arg') r.argv.push(value);
        else if (key === 'stat') {
          const [, ppid, pgrp, sid] = value.slice(value.lastIndexOf(')') + 2).split(' ');
          Object.assign(r, { ppid: Number(ppid), pgrp: Number(pgrp), sid: Number(sid) });
        } else if (key) r[key] = value;
      }
      return r;
    });
}

// The session of a running process.
export function sessionOf(pid) {
  const stat = readFileSync(`/proc/${pid}/stat`, 'utf8');
  return Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[3]);
}

export class LinuxHome {
  constructor() {
    this.home = mkdtempSync(join(tmpdir(), 'vellora-home-'));
    this.bin = join(this.home, 'bin');
    this.browserRoot = join(this.home, 'browser-root');
    mkdirSync(this.bin);
    mkdirSync(this.browserRoot);
    this.launchRecord = join(this.home, 'browser-launches.txt');
    this.openRecord = join(this.home, 'xdg-open.txt');
    writeFileSync(join(this.bin, 'xdg-open'), recorder(this.openRecord, 'open'), { mode: 0o755 });
    const env = { ...process.env };
    delete env.XDG_CONFIG_HOME;
    delete env.DISPLAY; // no ball unless a test gives the shell a desktop of its own (lib/x11.mjs)
    this.env = {
      ...env,
      HOME: this.home,
      XDG_DATA_HOME: join(this.home, 'data'),
      PATH: `${this.bin}:${process.env.PATH}`,
      VELLORA_BROWSER_ROOT: this.browserRoot,
    };
    this.dataDir = join(this.home, 'data', 'Doremkin');
  }

  // Places a stand-in browser at `path` as the shell's browser search sees it (e.g.
  // "/usr/bin/chromium", found through PATH's /usr/bin). With `fetches` it then loads the URL it
  // was given, as a browser window loads the page.
  addBrowser(path, { fetches = true, mode = 0o755 } = {}) {
    const file = join(this.browserRoot, path);
    mkdirSync(dirname(file), { recursive: true });
    const fetch = `for a in "$@"; do case $a in --app=*) url=\${a#--app=};; http://*) url=$a;; esac; done
exec node -e 'fetch(process.argv[1]).then((r) => r.text())' "$url"`;
    writeFileSync(file, recorder(this.launchRecord, 'launch', fetches ? fetch : ''));
    chmodSync(file, mode);
    return file;
  }

  // What the stand-in browsers and xdg-open recorded, in order: { argv, cwd, stdout, stderr,
  // ppid, pgrp, sid, SigBlk, SigIgn }.
  launches() {
    return readRecords(this.launchRecord, 'launch');
  }

  opens() {
    return readRecords(this.openRecord, 'open');
  }

  readLog() {
    const path = join(this.dataDir, 'launch.log');
    return existsSync(path) ? readFileSync(path, 'utf8') : '';
  }

  waitForLog(text, what = text) {
    return waitFor(() => this.readLog().includes(text), { what: `the log line ${what}` });
  }

  // Starts the shell and resolves once it prints the page's address.
  async start(args = [], env = {}) {
    const child = spawn(LINUX_SHELL, args, { env: { ...this.env, ...env }, stdio: ['ignore', 'pipe', 'pipe'] });
    child.out = '';
    child.err = '';
    child.stdout.on('data', (d) => (child.out += d));
    child.stderr.on('data', (d) => (child.err += d));
    child.exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve(code ?? signal)));
    child.port = await waitFor(() => Number(/http:\/\/127\.0\.0\.1:(\d+)\//.exec(child.out)?.[1] ?? 0), {
      timeoutMs: 10000,
      what: 'the shell to print its address',
    });
    child.stop = async () => {
      child.kill('SIGTERM');
      return child.exited;
    };
    return child;
  }

  run(args = []) {
    return new Promise((resolve) => {
      const child = spawn(LINUX_SHELL, args, { env: this.env, stdio: ['ignore', 'pipe', 'pipe'] });
      let out = '';
      child.stdout.on('data', (d) => (out += d));
      child.on('exit', (code) => resolve({ code, out }));
    });
  }
}
