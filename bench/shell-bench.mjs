// Prints the shell's figures (asserts nothing):
//   - the ball's redraw, paint + layer steps, natively (build/linux/vellora_bench)
//   - the Linux ball's redraw: paint with the Xft digits, the layer steps and the upload to the X
//     server (build/linux/fixtures/x11_ballpic --bench), on an Xvfb of its own
//   - idle memory of the native Linux shell (build/linux/vellora --ball-only): resident set of its
//     process a few seconds after start, without a display and with its ball on Xvfb + openbox
//   - idle memory of Vellora.exe --ball-only under Wine: resident set of the Wine process that runs
//     it, which also holds Wine's own libraries (ntdll, user32, gdi32, ... as built for Wine), and
//     the part of it that is private to the process
//   - the size of Vellora.exe, with and without the embedded page
// Usage: node bench/shell-bench.mjs [--no-wine]
//   (needs the linux and windows presets built; Wine uses VL_WINEPREFIX or build/wine/prefix-bench)
import { execFileSync, spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { repoPath } from '../tests/shell/lib/paths.mjs';

const IDLE_MS = 3000;
const MiB = 1024 * 1024;
const fmtMiB = (kib) => `${(kib / 1024).toFixed(2)} MiB`;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Memory of a process from /proc, in KiB: resident set, its peak, and the private part.
function memoryOf(pid) {
  const status = readFileSync(`/proc/${pid}/status`, 'utf8');
  const field = (text, name) => Number(new RegExp(`^${name}:\\s+(\\d+) kB`, 'm').exec(text)?.[1] ?? NaN);
  const rollup = readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8');
  return {
    rss: field(status, 'VmRSS'),
    hwm: field(status, 'VmHWM'),
    private: field(rollup, 'Private_Clean') + field(rollup, 'Private_Dirty'),
    pss: field(rollup, 'Pss'),
  };
}

function need(path, how) {
  if (!existsSync(path)) {
    console.error(`missing ${path}: ${how}`);
    process.exit(1);
  }
}

const benchExe = repoPath('build/linux/vellora_bench');
const linuxShell = repoPath('build/linux/vellora');
const windowsExe = repoPath('build/windows/Vellora.exe');
const page = repoPath('build/page/app.html');
need(benchExe, 'cmake --preset linux && cmake --build --preset linux');
need(linuxShell, 'cmake --preset linux && cmake --build --preset linux');

console.log('== ball redraw (native; target < 100 us)');
process.stdout.write(execFileSync(benchExe, ['2000'], { encoding: 'utf8' }));

const { Desktop } = await import('../tests/shell/lib/x11.mjs');
const desk = await new Desktop().start();
try {
  console.log('\n== Linux ball redraw on Xvfb (target < 100 us)');
  process.stdout.write(
    execFileSync(repoPath('build/linux/fixtures/x11_ballpic'), ['--bench', '2000'], { env: desk.env, encoding: 'utf8' }),
  );

  console.log(`\n== idle memory, ${IDLE_MS / 1000} s after start with --ball-only (target < 8 MiB)`);
  for (const [label, display] of [
    ['without a display', ''],
    ['with its ball (Xvfb + openbox)', desk.display],
  ]) {
    const home = mkdtempSync(join(tmpdir(), 'vellora-bench-'));
    const child = spawn(linuxShell, ['--ball-only'], {
      env: {
        ...process.env,
        DISPLAY: display,
        HOME: home,
        XDG_DATA_HOME: join(home, 'data'),
        XDG_CONFIG_HOME: join(home, 'config'),
      },
      stdio: ['ignore', 'pipe', 'ignore'],
    });
    await new Promise((resolve, reject) => {
      child.stdout.once('data', resolve); // "Vellora: http://127.0.0.1:PORT/" once it serves
      child.once('exit', () => reject(new Error('the Linux shell ended early')));
    });
    await sleep(IDLE_MS);
    const m = memoryOf(child.pid);
    console.log(
      `Linux shell ${label}:  VmRSS ${fmtMiB(m.rss)}  (peak ${fmtMiB(m.hwm)}, private ${fmtMiB(m.private)})`,
    );
    child.kill('SIGTERM');
    await new Promise((r) => child.once('exit', r));
    rmSync(home, { recursive: true, force: true });
  }
} finally {
  await desk.stop();
}

if (!process.argv.includes('--no-wine') && existsSync(windowsExe)) {
  process.env.VL_WINEPREFIX ??= repoPath('build/wine/prefix-bench');
  const { Wine } = await import('../tests/shell/lib/wine.mjs');
  const { waitFor } = await import('../tests/shell/lib/http.mjs');
  const wine = await new Wine().boot();
  try {
    await wine.stopAll();
    await wine.reset();
    const child = wine.start(windowsExe, ['--ball-only']);
    await waitFor(async () => (await wine.ballInfo()).found, { timeoutMs: 60000, what: 'the ball' });
    await sleep(IDLE_MS);
    // The Wine loader keeps the pid it was started with; look further only if it did not.
    const runsShell = (pid) => {
      try {
        return readFileSync(`/proc/${pid}/cmdline`, 'utf8').includes('Vellora.exe');
      } catch {
        return false;
      }
    };
    const pid = runsShell(child.pid)
      ? child.pid
      : readdirSync('/proc').filter((p) => /^\d+$/.test(p)).find((p) => runsShell(p));
    const m = memoryOf(pid);
    console.log(
      `Vellora.exe under Wine (pid ${pid}):  VmRSS ${fmtMiB(m.rss)}  (peak ${fmtMiB(m.hwm)}, ` +
        `private ${fmtMiB(m.private)}, proportional ${fmtMiB(m.pss)}); Wine's own libraries included`,
    );
  } finally {
    await wine.stopAll();
    await wine.close();
  }
} else {
  console.log('Vellora.exe under Wine: skipped');
}

console.log('\n== Vellora.exe size (target < 1 MiB without the page)');
if (existsSync(windowsExe)) {
  const exe = statSync(windowsExe).size;
  const pageBytes = statSync(page).size;
  console.log(`Vellora.exe ${(exe / 1024).toFixed(1)} KiB, page ${(pageBytes / 1024).toFixed(1)} KiB, ` +
    `without the page ${((exe - pageBytes) / 1024).toFixed(1)} KiB (${((exe - pageBytes) / MiB).toFixed(3)} MiB)`);
} else {
  console.log('build/windows/Vellora.exe missing: cmake --preset windows && cmake --build --preset windows');
}
