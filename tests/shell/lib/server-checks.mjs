// Checks of the loopback page server that hold for the Windows and the Linux shell alike.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { test } from 'node:test';
import { get, rawRequest, sleep } from './http.mjs';
import { repoPath } from './paths.mjs';
import { pageCsp } from '../../../scripts/page-csp.mjs';

const SECURITY = 'X-Frame-Options: DENY\r\nX-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n';
// The policy allows exactly the page's inline scripts, by hash (computed here from the built page).
const PAGE_HEADER = (length, csp) =>
  'HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n' +
  `Content-Length: ${length}\r\nCache-Control: no-store\r\nContent-Security-Policy: ${csp}\r\n${SECURITY}` +
  'Connection: close\r\n\r\n';

export function serverChecks(getPort) {
  const page = readFileSync(repoPath('build/page/app.html'));
  const csp = pageCsp(page.toString('utf8'));

  const assertPage = (reply) => {
    assert.equal(reply.head, PAGE_HEADER(page.length, csp));
    assert.ok(reply.body.equals(page), 'body is the built page, byte for byte');
  };

  test('GET / returns the built page with the exact headers', async () => {
    assertPage(await get(getPort(), '/'));
  });

  test('favicon requests get 204 without a body', async () => {
    const reply = await get(getPort(), '/favicon.ico');
    assert.equal(reply.head, `HTTP/1.1 204 No Content\r\n${SECURITY}Connection: close\r\n\r\n`);
    assert.equal(reply.body.length, 0);
  });

  test('every other request gets the page', async () => {
    const port = getPort();
    const requests = [
      `POST /save HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nContent-Length: 3\r\n\r\nabc`,
      `HEAD / HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\n\r\n`,
      `get /__vlra?cmd=status HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\n\r\n`,
      `GET /__vlra HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\n\r\n`,
      'GET /?x=1', // cut short, no line end
    ];
    for (const request of requests) assertPage(await rawRequest(port, request));
  });

  test('eight clients that send nothing do not hold up the next one', async () => {
    const port = getPort();
    const silent = Array.from({ length: 8 }, () => rawRequest(port, null, { timeoutMs: 10000 }));
    await sleep(100);
    const started = Date.now();
    assertPage(await get(port, '/'));
    const took = Date.now() - started;
    // Served one at a time, each silent client would hold the server for 2 s.
    assert.ok(took < 1000, `page served after ${took} ms behind 8 silent sockets`);
    for (const reply of await Promise.all(silent)) assertPage(reply); // each is sent the page in the end
  });
}
