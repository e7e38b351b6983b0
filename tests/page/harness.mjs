// Test harness: the planner page as served by the real Linux shell, opened in Chromium.
//
// startShell() runs build/linux/vellora --ball-only with a fresh data folder and waits for the
// address it prints; launch() starts Debian's Chromium through playwright-core; open() gives a
// fresh browser context (so empty storage) with the page loaded.
import { spawn } from 'node:child_process';
import { existsSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const ROOT = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
export const SHELL = join(ROOT, 'build/linux/vellora');
const CHROMIUM = '/usr/bin/chromium';
const CHROMIUM_ARGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

export async function startShell() {
  if (!existsSync(SHELL)) {
    throw new Error(`${SHELL} is missing: build the shell first (cmake --preset linux && cmake --build --preset linux)`);
  }
  const home = mkdtempSync(join(tmpdir(), 'vellora-page-'));
  const proc = spawn(SHELL, ['--ball-only'], {
    env: { ...process.env, XDG_DATA_HOME: home, HOME: home, DISPLAY: '' }, // served without the ball
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let stderr = '';
  proc.stderr.on('data', (d) => (stderr += d));
  const url = await new Promise((res, rej) => {
    let out = '';
    const fail = (why) => {
      clearTimeout(timer);
      rej(new Error(`${why}\nstdout: ${out}\nstderr: ${stderr}`));
    };
    const timer = setTimeout(() => fail('the shell printed no address within 10 s'), 10000);
    proc.stdout.on('data', (d) => {
      out += d;
      const m = /http:\/\/127\.0\.0\.1:(\d+)\//.exec(out);
      if (m) {
        clearTimeout(timer);
        res(m[0]);
      }
    });
    proc.on('error', (e) => fail('the shell did not start: ' + e.message));
    proc.on('exit', (code) => fail('the shell ended with code ' + code + ' before printing its address'));
  });
  proc.stdout.resume();
  return {
    url,
    async stop() {
      if (proc.exitCode === null && proc.signalCode === null) {
        const gone = new Promise((r) => proc.once('exit', r));
        proc.kill('SIGTERM');
        await Promise.race([gone, new Promise((r) => setTimeout(r, 3000))]);
      }
      rmSync(home, { recursive: true, force: true });
    },
  };
}

export function launch() {
  return chromium.launch({ executablePath: CHROMIUM, headless: true, args: CHROMIUM_ARGS });
}

// One shell and one browser for a test file; call from before/after of node:test.
export function setup() {
  const env = {};
  return {
    env,
    async before() {
      env.shell = await startShell();
      env.url = env.shell.url;
      env.browser = await launch();
    },
    async after() {
      if (env.browser) await env.browser.close();
      if (env.shell) await env.shell.stop();
    },
  };
}

// A fresh context and page. opts: context options (viewport, timezoneId, ...), plus
//   storage: entries written into local storage before the page is loaded for the test,
//   clock:   a time at which Playwright's clock is installed and paused before the first load;
//            the test moves it on with page.clock.runFor,
//   dialogs: an array that collects the texts of alerts (which are accepted),
//   noStore: the page runs without IndexedDB.
export async function open(browser, url, opts = {}) {
  const { storage, clock, dialogs, noStore, ...ctxOpts } = opts;
  const context = await browser.newContext({ viewport: { width: 1360, height: 900 }, ...ctxOpts });
  // a browser without IndexedDB (some private modes): the page falls back to local storage
  if (noStore) await context.addInitScript(() => Object.defineProperty(window, 'indexedDB', { value: undefined }));
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('dialog', (d) => {
    if (dialogs) dialogs.push(d.message());
    d.accept();
  });
  if (clock !== undefined) {
    const t = new Date(clock).getTime();
    // the installed clock runs until paused, so it starts a little before t
    await page.clock.install({ time: t - 5000 });
    await page.clock.pauseAt(t);
  }
  await page.goto(url);
  await ready(page);
  if (storage) {
    // local storage as an older page left it, and no store yet: the page's first start
    await page.evaluate(async (entries) => {
      localStorage.clear();
      for (const [k, v] of Object.entries(entries)) localStorage.setItem(k, typeof v === 'string' ? v : JSON.stringify(v));
      await window.__vl.flushed();
      await new Promise((res, rej) => {
        const r = indexedDB.deleteDatabase('vellora');
        r.onsuccess = res;
        r.onerror = () => rej(r.error);
      });
    }, storage);
    await page.reload();
    await ready(page);
  }
  return { context, page, errors };
}

// Waits until the page has loaded its state and drawn it.
export function ready(page) {
  return page.evaluate(() => window.__vl.ready);
}

// The planner state as the page's store holds it once its queued writes are done, read from the
// records themselves; another key names a local storage entry.
export function stored(page, key = 'homework-planner-v5') {
  if (key !== 'homework-planner-v5') return page.evaluate((k) => JSON.parse(localStorage.getItem(k)), key);
  return page.evaluate(readStore);
}

// Runs in the page: rebuilds the state from the "vellora" database's records.
async function readStore() {
  await window.__vl.flushed();
  const db = await new Promise((res, rej) => {
    const r = indexedDB.open('vellora');
    r.onsuccess = () => res(r.result);
    r.onerror = () => rej(r.error);
  });
  const tx = db.transaction(['meta', 'days']);
  const get = (q) => new Promise((res) => (q.onsuccess = () => res(q.result)));
  const [meta, keys, recs] = await Promise.all([
    get(tx.objectStore('meta').get('state')), get(tx.objectStore('days').getAllKeys()), get(tx.objectStore('days').getAll()),
  ]);
  db.close();
  if (!meta) return null;
  const st = {};
  for (const m of meta.order) st[m] = m === 'days' ? {} : meta.rest[m];
  keys.forEach((k, i) => {
    const r = recs[i];
    st.days[k] = JSON.parse(r.list);
    if ('rev' in r) st.rev[k] = r.rev;
    if ('srvRev' in r) st.srv.rev[k] = r.srvRev;
    if ('base' in r) st.srv.base[k] = r.base;
  });
  return st;
}

// A schedule item with the eight members in order.
export function item(id, name, extra = {}) {
  return { id, name, count: '', time: '待定', done: false, topics: [], next: '', note: '', ...extra };
}

// A state of the given days, on view at `current`.
export function stateOf(days, current, more = {}) {
  return { days, current, settings: { autoNext: true }, ...more };
}
