// Raw HTTP over a socket, so that tests see exactly the bytes the shell sends.
import net from 'node:net';

// Sends `request` (string or Buffer; null sends nothing) and resolves to the whole reply once the
// server closes the connection.
export function rawRequest(port, request, { timeoutMs = 5000 } = {}) {
  return new Promise((resolve, reject) => {
    const chunks = [];
    const socket = net.connect(port, '127.0.0.1', () => {
      if (request !== null) socket.write(request);
    });
    socket.setTimeout(timeoutMs, () => {
      socket.destroy();
      reject(new Error(`no reply from port ${port} within ${timeoutMs} ms`));
    });
    socket.on('data', (d) => chunks.push(d));
    socket.on('error', reject);
    socket.on('close', () => resolve(parseReply(Buffer.concat(chunks))));
  });
}

export function parseReply(bytes) {
  const end = bytes.indexOf('\r\n\r\n');
  const head = end < 0 ? bytes.toString('latin1') : bytes.subarray(0, end + 4).toString('latin1');
  const body = end < 0 ? Buffer.alloc(0) : bytes.subarray(end + 4);
  const status = Number(/^HTTP\/1\.1 (\d{3})/.exec(head)?.[1] ?? 0);
  return { bytes, head, body, status };
}

export const get = (port, path, headers = '') =>
  rawRequest(port, `GET ${path} HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\n${headers}\r\n`);

// Resolves true when something accepts connections on the port.
export function answers(port) {
  return new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1', () => {
      socket.destroy();
      resolve(true);
    });
    socket.on('error', () => resolve(false));
  });
}

export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

export async function waitFor(check, { timeoutMs = 10000, stepMs = 100, what = 'condition' } = {}) {
  const until = Date.now() + timeoutMs;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > until) throw new Error(`timed out waiting for ${what}`);
    await sleep(stepMs);
  }
}

// Another program listening on the port, the way an unrelated server would: without
// SO_REUSEADDR, which node always sets and Wine's sockets would then share.
export async function holdPort(port) {
  const { spawn } = await import('node:child_process');
  const holder = spawn('python3', ['-c', `
import socket, sys, time
s = socket.socket(); s.bind(('127.0.0.1', ${port})); s.listen(1)
print('ready', flush=True); time.sleep(120)`], { stdio: ['ignore', 'pipe', 'inherit'] });
  await new Promise((resolve, reject) => {
    holder.stdout.once('data', resolve);
    holder.once('exit', () => reject(new Error(`could not hold port ${port}`)));
  });
  return holder;
}
