// The update site: publication, the uncached page and version, the site's own files, and the
// example nginx TLS reverse proxy in front of the service.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import net from 'node:net';
import https from 'node:https';
import { join } from 'node:path';
import { ROOT, startService, runCli, tempDir, call, admin } from './lib/service.mjs';

const PAGE = join(ROOT, 'build', 'page', 'app.html');
let svc;
before(async () => {
  svc = await startService();
});
after(async () => {
  await svc?.stop();
  svc?.cleanup();
});

const get = (path) => fetch(svc.url + path, { signal: AbortSignal.timeout(10000), redirect: 'manual' });

test('publication: the page and a version.json naming its own built-in version', { timeout: 20000 }, async () => {
  assert.equal((await get('version.json')).status, 404, 'nothing published yet');
  const html = readFileSync(PAGE, 'utf8');
  const built = /BUILT_IN = '([^']+)'/.exec(html)[1];
  const r = runCli(svc.data, ['--publish', PAGE]);
  assert.equal(r.code, 0, r.stderr);
  assert.deepEqual(JSON.parse(readFileSync(join(svc.data, 'site', 'version.json'), 'utf8')), { ver: built });
  const ver = await get('version.json?t=' + Date.now());
  assert.deepEqual(await ver.json(), { ver: built });
  assert.equal(ver.headers.get('cache-control'), 'no-store');
  const app = await get('app.html?t=1');
  assert.equal(app.headers.get('cache-control'), 'no-store');
  assert.equal(await app.text(), html);
  const page = await get('');
  assert.match(page.headers.get('content-type'), /text\/html/);
  assert.equal(await page.text(), html);
  assert.equal((await fetch(svc.url.replace(/vellora\/$/, ''), { redirect: 'manual' })).headers.get('location'), '/vellora/');

  // A newer page replaces it; the version always names the page served.
  const next = html.replace(`BUILT_IN = '${built}'`, "BUILT_IN = '2099-01-01.7'");
  const file = join(tempDir(), 'app.html');
  writeFileSync(file, next);
  assert.equal(runCli(svc.data, ['--publish', file]).code, 0);
  assert.deepEqual(await (await get('version.json')).json(), { ver: '2099-01-01.7' });
  assert.ok((await (await get('app.html')).text()).includes("BUILT_IN = '2099-01-01.7'"));
  // What breaks the rule of publication is refused and changes nothing.
  for (const bad of ['<html>not a page</html>', '<!DOCTYPE html><p>no version</p>', next.replace('<!DOCTYPE', '<!doctype x')]) {
    writeFileSync(file, bad);
    const out = runCli(svc.data, ['--publish', file]);
    assert.notEqual(out.code, 0);
  }
  assert.notEqual(runCli(svc.data, ['--publish', join(tempDir(), 'missing.html')]).code, 0);
  assert.deepEqual(await (await get('version.json')).json(), { ver: '2099-01-01.7' });
});

test("the site's own files: manifest, icons, service worker", { timeout: 20000 }, async () => {
  const manifest = await get('manifest.json');
  assert.match(manifest.headers.get('content-type'), /manifest\+json/);
  const m = await manifest.json();
  assert.deepEqual(m.icons.map((i) => i.src), ['icon-180.png', 'icon-192.png']);
  for (const size of [180, 192]) {
    const png = Buffer.from(await (await get(`icon-${size}.png`)).arrayBuffer());
    assert.equal(png.subarray(1, 4).toString(), 'PNG');
    assert.deepEqual([png.readUInt32BE(16), png.readUInt32BE(20)], [size, size]);
  }
  const sw = await get('sw.js');
  assert.match(sw.headers.get('content-type'), /javascript/);
  const text = await sw.text();
  assert.ok(text.includes("addEventListener('fetch'"));
  assert.equal((await get('nothing.txt')).status, 404);
  assert.equal((await fetch(svc.url + 'app.html', { method: 'POST' })).status, 405);
  // A site folder's own file takes the place of the built-in one.
  mkdirSync(join(svc.data, 'site'), { recursive: true });
  writeFileSync(join(svc.data, 'site', 'sw.js'), '// ours');
  assert.equal(await (await get('sw.js')).text(), '// ours');
});

const freePort = () =>
  new Promise((resolve) => {
    const s = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = s.address();
      s.close(() => resolve(port));
    });
  });

test('the example nginx configuration proxies TLS to the service', { timeout: 30000 }, async () => {
  const dir = tempDir('vellora-nginx-');
  execFileSync('openssl', ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '1', '-subj', '/CN=planner.example.org',
    '-keyout', join(dir, 'key.pem'), '-out', join(dir, 'cert.pem')], { stdio: 'ignore' });
  const [httpPort, tlsPort] = [await freePort(), await freePort()];
  const site = readFileSync(join(ROOT, 'server', 'deploy', 'nginx-vellora.conf'), 'utf8')
    .replace('listen 80;', `listen 127.0.0.1:${httpPort};`)
    .replace('listen 443 ssl http2;', `listen 127.0.0.1:${tlsPort} ssl;`)
    .replace('/etc/ssl/vellora/fullchain.pem', join(dir, 'cert.pem'))
    .replace('/etc/ssl/vellora/privkey.pem', join(dir, 'key.pem'))
    .replace('127.0.0.1:8787', `127.0.0.1:${svc.port}`);
  writeFileSync(join(dir, 'vellora.conf'), site);
  writeFileSync(join(dir, 'nginx.conf'), `pid ${dir}/nginx.pid;\nerror_log ${dir}/error.log;\ndaemon off;\nevents {}\nhttp {\n access_log off;\n client_body_temp_path ${dir}/body;\n proxy_temp_path ${dir}/proxy;\n fastcgi_temp_path ${dir}/fcgi;\n uwsgi_temp_path ${dir}/uwsgi;\n scgi_temp_path ${dir}/scgi;\n include ${dir}/vellora.conf;\n}\n`);
  execFileSync('nginx', ['-t', '-p', dir, '-c', join(dir, 'nginx.conf')], { stdio: 'pipe' });
  const nginx = spawn('nginx', ['-p', dir, '-c', join(dir, 'nginx.conf')], { stdio: 'ignore' });
  try {
    const boss = await admin(svc, 'proxyboss', 'proxy-pass');
    let reply;
    for (let i = 0; i < 50 && !reply; i++) {
      reply = await new Promise((resolve) => {
        const req = https.request({ host: '127.0.0.1', port: tlsPort, path: '/vellora/api/me', rejectUnauthorized: false, headers: { Authorization: boss.token } }, (res) => {
          let body = '';
          res.on('data', (d) => (body += d));
          res.on('end', () => resolve({ status: res.statusCode, body }));
        });
        req.on('error', () => setTimeout(() => resolve(undefined), 100));
        req.end();
      });
    }
    assert.equal(reply.status, 200);
    assert.equal(JSON.parse(reply.body).user.username, 'proxyboss');
    // The service still answers directly beside the proxy.
    const direct = await call(svc, 'POST', '/login', { body: { username: 'proxyboss', password: 'proxy-pass' } });
    assert.equal(direct.json.ok, true);
  } finally {
    nginx.kill('SIGTERM');
    await new Promise((r) => nginx.on('exit', r));
  }
});
