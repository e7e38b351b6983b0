// Prints how long the native Linux shell takes from its start to the first byte of the page it
// serves (no browser: --ball-only), as the median of several cold starts.
// Usage: node bench/shell-start.mjs [runs]
import { spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import net from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

const shell = fileURLToPath(new URL('../build/linux/vellora', import.meta.url));
const runs = Number(process.argv[2] ?? 20);

const freePort = () =>
  new Promise((resolve) => {
    const s = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = s.address();
      s.close(() => resolve(port));
    });
  });

// Resolves at the first byte of a reply to GET /, retrying while nothing listens yet.
function firstByte(port) {
  return new Promise((resolve) => {
    const attempt = () => {
      const socket = net.connect(port, '127.0.0.1', () => socket.write('GET / HTTP/1.1\r\n\r\n'));
      socket.once('data', () => {
        resolve(process.hrtime.bigint());
        socket.destroy();
      });
      socket.once('error', () => setImmediate(attempt));
    };
    attempt();
  });
}

const times = [];
for (let i = 0; i < runs; i++) {
  const home = mkdtempSync(join(tmpdir(), 'vellora-bench-'));
  const dataDir = join(home, 'Doremkin');
  mkdirSync(dataDir);
  const port = await freePort();
  writeFileSync(join(dataDir, 'port.txt'), String(port)); // the address it will take
  const started = process.hrtime.bigint();
  const child = spawn(shell, ['--ball-only'], { env: { ...process.env, HOME: home, XDG_DATA_HOME: home }, stdio: 'ignore' });
  const at = await firstByte(port);
  times.push(Number(at - started) / 1e6);
  child.kill('SIGTERM');
  await new Promise((r) => child.once('exit', r));
  rmSync(home, { recursive: true, force: true });
}
times.sort((a, b) => a - b);
const median = times[Math.floor(times.length / 2)];
console.log(`shell start to first page byte (native, ${runs} runs): median ${median.toFixed(2)} ms, best ${times[0].toFixed(2)} ms`);
