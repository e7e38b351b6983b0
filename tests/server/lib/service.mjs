// Starts the built vellora-server for a test and talks to it. The one place that decides which
// program, which storage and which address a test uses: VELLORA_SERVER overrides the program,
// VELLORA_SERVER_ARGS (space-separated, "{data}" stands for the test's data folder) adds
// arguments, so the same suite can run against another storage back end.
import { spawn, spawnSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

export const ROOT = join(dirname(fileURLToPath(import.meta.url)), '..', '..', '..');
export const SERVER = process.env.VELLORA_SERVER || join(ROOT, 'build', 'linux', 'vellora-server');
export const SYNC_TOOL = join(ROOT, 'build', 'linux', 'vellora_sync_tool');

function backendArgs(data) {
  const extra = (process.env.VELLORA_SERVER_ARGS || '').split(' ').filter(Boolean);
  return ['--data', data, ...extra.map((a) => a.replaceAll('{data}', data))];
}

export function tempDir(prefix = 'vellora-server-') {
  return mkdtempSync(join(tmpdir(), prefix));
}

// Runs a command of the program (--add-admin, --publish) to its end.
export function runCli(data, args, input = '') {
  const r = spawnSync(SERVER, [...backendArgs(data), ...args], { input, encoding: 'utf8', timeout: 20000 });
  return { code: r.status, stdout: r.stdout, stderr: r.stderr };
}

// Starts the service on a free port of 127.0.0.1 and resolves once it printed its address.
export async function startService({ data = tempDir(), env = {}, args = [] } = {}) {
  const proc = spawn(SERVER, [...backendArgs(data), '--listen', '127.0.0.1:0', ...args], {
    env: { ...process.env, ...env },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let out = '';
  let err = '';
  proc.stderr.on('data', (d) => (err += d));
  const url = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('vellora-server did not start: ' + err)), 10000);
    proc.stdout.on('data', (d) => {
      out += d;
      const m = /^vellora-server: (http:\/\/\S+\/vellora\/)$/m.exec(out);
      if (m) {
        clearTimeout(timer);
        resolve(m[1]);
      }
    });
    proc.on('exit', (code) => {
      clearTimeout(timer);
      reject(new Error(`vellora-server ended with ${code}: ${err}`));
    });
  });
  const u = new URL(url);
  const svc = {
    data,
    proc,
    url,
    port: Number(u.port),
    api: url + 'api',
    stderr: () => err,
    exited: new Promise((resolve) => proc.on('exit', (code, signal) => resolve({ code, signal }))),
    // SIGTERM, then the exit status.
    async stop() {
      if (proc.exitCode === null && proc.signalCode === null) proc.kill('SIGTERM');
      return svc.exited;
    },
    async kill9() {
      proc.kill('SIGKILL');
      return svc.exited;
    },
    cleanup() {
      rmSync(data, { recursive: true, force: true });
    },
  };
  return svc;
}

// One API call: resolves to { status, json, text, headers }.
export async function call(svc, method, path, { token, body, raw, headers = {} } = {}) {
  const h = { ...headers };
  if (token) h.Authorization = token;
  let payload;
  if (raw !== undefined) payload = raw;
  else if (body !== undefined) {
    payload = JSON.stringify(body);
    h['Content-Type'] = 'application/json';
  }
  const res = await fetch(svc.api + path, { method, headers: h, body: payload, signal: AbortSignal.timeout(15000) });
  const text = await res.text();
  let json;
  try {
    json = JSON.parse(text);
  } catch {
    json = undefined;
  }
  return { status: res.status, json, text, headers: res.headers };
}

// Creates an administrator through the command line and signs in: { id, token, user }.
export async function admin(svc, name = 'boss', password = 'boss-pass') {
  const r = runCli(svc.data, ['--add-admin', name], password + '\n');
  if (r.code !== 0) throw new Error('--add-admin failed: ' + r.stderr);
  return login(svc, name, password);
}

export async function login(svc, username, password) {
  const r = await call(svc, 'POST', '/login', { body: { username, password } });
  if (!r.json?.ok) throw new Error(`sign-in of ${username} failed: ${r.text}`);
  return { id: r.json.user.id, token: r.json.token, user: r.json.user, state: r.json.state };
}

// A registered and approved teacher, signed in.
export async function teacher(svc, adm, username, password = 'pass-' + username, displayName = username) {
  const reg = await call(svc, 'POST', '/register', { body: { username, password, displayName } });
  if (!reg.json?.ok) throw new Error('register failed: ' + reg.text);
  const ok = await call(svc, 'POST', '/admin/user', { token: adm.token, body: { action: 'approve', id: reg.json.id } });
  if (!ok.json?.ok) throw new Error('approve failed: ' + ok.text);
  return login(svc, username, password);
}

// A schedule item with the page's eight members in their order.
export function item(id, name, extra = {}) {
  return { id, name, count: '', time: '', done: false, topics: [], next: '', note: '', ...extra };
}
