// Runs the native Linux shell with a data folder of the test's own.
import { spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { repoPath } from './paths.mjs';
import { waitFor } from './http.mjs';

export const LINUX_SHELL = repoPath('build/linux/vellora');

export class LinuxHome {
  constructor() {
    this.home = mkdtempSync(join(tmpdir(), 'vellora-home-'));
    this.env = { ...process.env, HOME: this.home, XDG_DATA_HOME: join(this.home, 'data') };
    this.dataDir = join(this.home, 'data', 'Doremkin');
  }

  readLog() {
    const path = join(this.dataDir, 'launch.log');
    return existsSync(path) ? readFileSync(path, 'utf8') : '';
  }

  // Starts the shell and resolves once it prints the page's address.
  async start(args = [], env = {}) {
    const child = spawn(LINUX_SHELL, args, { env: { ...this.env, ...env }, stdio: ['ignore', 'pipe', 'pipe'] });
    child.out = '';
    child.stdout.on('data', (d) => (child.out += d));
    child.stderr.on('data', (d) => (child.out += d));
    child.exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve(code ?? signal)));
    child.port = await waitFor(() => Number(/http:\/\/127\.0\.0\.1:(\d+)\//.exec(child.out)?.[1] ?? 0), {
      timeoutMs: 10000,
      what: 'the shell to print its address',
    });
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
