// The stand-in browser (tests/fixtures/win_fakebrowser.cpp) placed where the shell looks for Edge
// or Chrome in a Wine prefix, and what it recorded.
import { copyFileSync, existsSync, mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { FIXTURES } from './wine.mjs';

// The shell's candidates that tests use, as folders inside the prefix and as Windows paths.
const CANDIDATES = {
  edge: { dir: 'drive_c/Program Files (x86)/Microsoft/Edge/Application', exe: 'msedge.exe',
    win: () => 'C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe' },
  userChrome: { dir: (w) => join(w.localAppData, 'Google/Chrome/Application'), exe: 'chrome.exe',
    win: (w) => `C:\\users\\${w.user}\\AppData\\Local\\Google\\Chrome\\Application\\chrome.exe` },
};

const folderOf = (wine, candidate) =>
  typeof candidate.dir === 'function' ? candidate.dir(wine) : join(wine.prefix, candidate.dir);

// Removes every stand-in, so that the shell finds no browser.
export function removeBrowsers(wine) {
  rmSync(join(wine.prefix, 'drive_c/Program Files (x86)/Microsoft'), { recursive: true, force: true });
  rmSync(join(wine.localAppData, 'Google'), { recursive: true, force: true });
}

// Puts the stand-in at one candidate path. `title` is the title of its window, or null for a
// browser that opens no window at all.
export function placeBrowser(wine, name, { title = '📝 Vellora' } = {}) {
  const candidate = CANDIDATES[name];
  const dir = folderOf(wine, candidate);
  mkdirSync(dir, { recursive: true });
  for (const record of ['starts.txt', 'fetches.txt', 'fetched.html']) rmSync(join(dir, record), { force: true });
  copyFileSync(join(FIXTURES, 'fakebrowser.exe'), join(dir, candidate.exe));
  const read = (file) => (existsSync(join(dir, file)) ? readFileSync(join(dir, file), 'utf8') : '');
  const browser = {
    path: candidate.win(wine),
    // Whole command lines, one per start.
    starts: () => read('starts.txt').split('\n').filter(Boolean),
    // { status, bytes, url } of the page fetched at each start.
    fetches: () =>
      read('fetches.txt').split('\n').filter(Boolean).map((line) => {
        const m = /^status=(\d+) bytes=(\d+) url=(.*)$/.exec(line);
        return { status: Number(m[1]), bytes: Number(m[2]), url: m[3] };
      }),
    fetchedBody: () => (existsSync(join(dir, 'fetched.html')) ? readFileSync(join(dir, 'fetched.html')) : null),
    // The title its window shows from now on (read again every 200 ms).
    setTitle: (text) => writeFileSync(join(dir, 'title.txt'), text ?? '<none>'),
  };
  browser.setTitle(title);
  return browser;
}
