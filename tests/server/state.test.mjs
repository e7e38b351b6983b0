// Planner state through the service: the merge of PUT /state from two devices, revisions,
// settings, the cheap poll, isolation between users, serialised pushes, bad input.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import net from 'node:net';
import { fpDay } from '../../page/lib/sync.js';
import { startService, call, admin, teacher, item } from './lib/service.mjs';

let svc, adm;
before(async () => {
  svc = await startService({ env: { VELLORA_HEADER_TIMEOUT_MS: '500' } });
  adm = await admin(svc);
});
after(async () => {
  await svc?.stop();
  svc?.cleanup();
});

const D = '2025-09-01';
const names = (list) => (list || []).map((it) => it.id + '=' + it.name).join(',');
const push = (t, days, base = {}, extra = {}) => call(svc, 'PUT', '/state', { token: t.token, body: { days, base, ...extra } });

test('two devices: conflict, deletion there and change here, additions on both sides', { timeout: 30000 }, async () => {
  const t = await teacher(svc, adm, 'devices');
  const a = item('a', 'A'), b = item('b', 'B'), c = item('c', 'C');
  let r = await push(t, { [D]: [a, b, c] });
  assert.equal(r.json.ok, true);
  const base = { [D]: fpDay(r.json.days[D]) };
  const rev1 = r.json.rev[D];
  // Device 1: changes a, deletes b, adds d.
  r = await push(t, { [D]: [item('a', 'A1'), c, item('d', 'D')] }, base);
  assert.equal(names(r.json.days[D]), 'a=A1,c=C,d=D');
  assert.ok(r.json.rev[D] > rev1);
  // Device 2 still holds the old base: changes a too (conflict: its own version wins on its
  // push), changes b (a change beats the deletion there), adds e.
  r = await push(t, { [D]: [item('a', 'A2'), item('b', 'B2'), c, item('e', 'E')] }, base);
  assert.equal(names(r.json.days[D]), 'a=A2,b=B2,c=C,e=E,d=D');
  // A device deleting an item the base holds, while the other changed it: it stays deleted.
  const base2 = { [D]: fpDay(r.json.days[D]) };
  r = await push(t, { [D]: [item('a', 'A2'), item('b', 'B2'), item('e', 'E'), item('d', 'D')] }, base2);
  assert.equal(names(r.json.days[D]), 'a=A2,b=B2,e=E,d=D');
  // A fresh device without a base can only add: an empty push never wipes the day.
  r = await push(t, { [D]: [] });
  assert.equal(names(r.json.days[D]), 'a=A2,b=B2,e=E,d=D');
  const full = await call(svc, 'GET', '/state', { token: t.token });
  assert.deepEqual(full.json.state.days[D], r.json.days[D]);
});

test('revisions move only for changed days; settings when dirty; the cheap poll', { timeout: 30000 }, async () => {
  const t = await teacher(svc, adm, 'poller');
  let r = await push(t, { '2025-01-01': [item('x', 'X')], '2025-01-02': [item('y', 'Y')] }, {}, { settings: { autoNext: false }, settingsDirty: true });
  const rev = r.json.rev;
  assert.equal(r.json.settings.autoNext, false);
  const sRev = r.json.settingsRev;
  assert.ok(sRev > 0);
  // The same content again, settings not dirty: nothing moves.
  r = await push(t, { '2025-01-01': [item('x', 'X')], '2025-01-02': [item('y', 'Y')] }, {}, { settings: { autoNext: true }, settingsDirty: false });
  assert.deepEqual(r.json.rev, rev);
  assert.deepEqual([r.json.settings, r.json.settingsRev], [{ autoNext: false }, sRev]);
  const top = Math.max(...Object.values(rev), sRev);
  // A device that holds everything learns nothing, in at most 100 bytes.
  const idle = await call(svc, 'GET', `/state?only=rev&since=${top}`, { token: t.token });
  assert.ok(Buffer.byteLength(idle.text) <= 100, idle.text);
  assert.deepEqual(idle.json, { ok: true, rev: {}, settingsRev: sRev, top });
  // One day changes: the poll names just that day.
  r = await push(t, { '2025-01-02': [item('y', 'Y'), item('z', 'Z')] }, { '2025-01-02': fpDay([item('y', 'Y')]) });
  assert.equal(r.json.rev['2025-01-01'], rev['2025-01-01']);
  const poll = await call(svc, 'GET', `/state?only=rev&since=${top}`, { token: t.token });
  assert.deepEqual(Object.keys(poll.json.rev), ['2025-01-02']);
  assert.ok(poll.json.rev['2025-01-02'] > top);
  // Without since, the full map.
  const all = await call(svc, 'GET', '/state?only=rev', { token: t.token });
  assert.deepEqual(Object.keys(all.json.rev), ['2025-01-01', '2025-01-02']);
  assert.equal((await call(svc, 'GET', '/state?only=rev&since=-1', { token: t.token })).status, 400);
});

test("a user's token never reads or changes another user's data", { timeout: 30000 }, async () => {
  const one = await teacher(svc, adm, 'one');
  const two = await teacher(svc, adm, 'two');
  await push(one, { [D]: [item('p', '一号的学生')] });
  await push(two, { [D]: [item('p', '二号的学生')] });
  assert.equal(names((await call(svc, 'GET', '/state', { token: one.token })).json.state.days[D]), 'p=一号的学生');
  assert.equal(names((await call(svc, 'GET', '/state', { token: two.token })).json.state.days[D]), 'p=二号的学生');
  const asAdmin = await call(svc, 'GET', `/admin/state?user=${one.id}`, { token: adm.token });
  assert.equal(asAdmin.json.user.username, 'one');
  assert.equal(names(asAdmin.json.state.days[D]), 'p=一号的学生');
  const users = (await call(svc, 'GET', '/admin/users', { token: adm.token })).json.users;
  assert.equal(users.find((u) => u.id === one.id).dayCnt, 1);
});

test('pushes of one user at once are serialised: every addition survives', { timeout: 30000 }, async () => {
  const t = await teacher(svc, adm, 'busy');
  const replies = await Promise.all(Array.from({ length: 12 }, (_, i) => push(t, { [D]: [item('n' + i, '学生' + i)] })));
  assert.ok(replies.every((r) => r.json.ok));
  const day = (await call(svc, 'GET', '/state', { token: t.token })).json.state.days[D];
  assert.equal(day.length, 12);
  const revs = replies.map((r) => r.json.rev[D]).sort((x, y) => x - y);
  assert.equal(new Set(revs).size, 12, 'each push got its own revision');
});

test('bad input: a clear error and nothing stored', { timeout: 30000 }, async () => {
  const t = await teacher(svc, adm, 'careful');
  await push(t, { [D]: [item('keep', '留着')] });
  const before = (await call(svc, 'GET', '/state', { token: t.token })).text;
  const bodies = [
    ['{"days":', 'JSON'],
    ['[1,2]', '格式'],
    [JSON.stringify({ days: [[D, []]] }), 'days'],
    [JSON.stringify({ days: { [D]: ['a', 'b'] } }), '条目'],
    [JSON.stringify({ days: { [D]: [{ ...item('q', 'Q'), name: 42 }] } }), '条目'],
    [JSON.stringify({ days: { [D]: [{ ...item('q', 'Q'), topics: [1, 2] }] } }), '条目'],
    [JSON.stringify({ days: { [D]: [item('q', 'Q'), item('q', 'Q')] } }), '重复'],
    [JSON.stringify({ days: { [D]: {} } }), '列表'],
    [JSON.stringify({ days: { '2025-02-30': [] } }), '日期'],
    [JSON.stringify({ days: { "'; DROP TABLE days; --": [] } }), '日期'],
    [JSON.stringify({ days: {}, base: [] }), 'base'],
    [JSON.stringify({ days: {}, settingsDirty: true, settings: 'dark' }), 'settings'],
    [JSON.stringify({ days: {}, settingsDirty: 'yes' }), '格式'],
  ];
  for (const [raw, says] of bodies) {
    const r = await call(svc, 'PUT', '/state', { token: t.token, raw, headers: { 'Content-Type': 'application/json' } });
    assert.deepEqual([r.status, r.json.ok], [400, false], raw);
    assert.ok(r.json.error.includes(says), `${raw}: ${r.json.error}`);
  }
  assert.equal((await call(svc, 'GET', '/state', { token: t.token })).text, before);
  // Account names: SQL-looking, very long, Unicode; a clear error and no account.
  for (const username of ["x' OR '1'='1", "admin'--", 'a'.repeat(5000), '张老师', 'emoji😀', '', ' ']) {
    const r = await call(svc, 'POST', '/register', { body: { username, password: 'pass', displayName: '名字' } });
    assert.deepEqual([r.status, r.json.ok], [400, false], username.slice(0, 20));
    assert.match(r.json.error, /账号只能用/);
  }
  for (const body of [{ username: 5, password: 'pass' }, { username: 'ok-name', password: 123456 }, { username: 'ok-name', password: 'abc' }]) {
    const r = await call(svc, 'POST', '/register', { body });
    assert.equal(r.status, 400, JSON.stringify(body));
  }
  const users = (await call(svc, 'GET', '/admin/users', { token: adm.token })).json.users.map((u) => u.username);
  assert.ok(!users.includes('ok-name') && users.every((u) => /^[\w.@-]+$/.test(u)), users.join(' '));
  // Unicode nicknames are fine.
  const uni = await call(svc, 'POST', '/register', { body: { username: 'unicode-nick', password: 'pass', displayName: '😀 小李 "引号" \\' } });
  assert.equal(uni.json.ok, true);
  // Unknown paths and methods.
  assert.equal((await call(svc, 'GET', '/nothing')).status, 404);
  assert.equal((await call(svc, 'DELETE', '/state', { token: t.token })).status, 405);
  assert.equal((await call(svc, 'GET', '/login')).status, 405);
});

// Raw bytes over a socket: resolves with what the server sent before it closed.
function raw(port, text, { waitMs = 5000 } = {}) {
  return new Promise((resolve, reject) => {
    const chunks = [];
    const t0 = Date.now();
    const s = net.connect(port, '127.0.0.1', () => s.write(text));
    s.setTimeout(waitMs, () => {
      s.destroy();
      reject(new Error('the server kept the connection open'));
    });
    s.on('data', (d) => chunks.push(d));
    s.on('error', () => {});
    s.on('close', () => resolve({ text: Buffer.concat(chunks).toString(), ms: Date.now() - t0 }));
  });
}

test('oversized bodies get 413 before they are read; silent clients are cut off', { timeout: 30000 }, async () => {
  const t = await teacher(svc, adm, 'large');
  const big = await raw(
    svc.port,
    `PUT /vellora/api/state HTTP/1.1\r\nHost: x\r\nAuthorization: ${t.token}\r\nContent-Type: application/json\r\nContent-Length: 900000000\r\n\r\n{"days":`,
  );
  assert.match(big.text, /^HTTP\/1\.1 413/);
  assert.ok(big.text.includes('数据太大'));
  // A header that never ends: closed after the header timeout (500 ms here), with nothing sent.
  const slow = await raw(svc.port, 'GET /vellora/api/me HTTP/1.1\r\nHost: x\r\n');
  assert.equal(slow.text, '');
  assert.ok(slow.ms >= 400 && slow.ms < 4000, `closed after ${slow.ms} ms`);
  // An idle keep-alive connection is not cut off at the header timeout.
  const s = net.connect(svc.port, '127.0.0.1');
  await new Promise((r) => s.on('connect', r));
  await new Promise((r) => setTimeout(r, 1200));
  const reply = new Promise((r) => s.once('data', (d) => r(d.toString())));
  s.write(`GET /vellora/api/state?only=rev HTTP/1.1\r\nHost: x\r\nAuthorization: ${t.token}\r\n\r\n`);
  assert.match(await reply, /^HTTP\/1\.1 200/);
  s.destroy();
  // A body under the limit but above Beast's 1 MB default is taken.
  const rows = Array.from({ length: 30 }, (_, i) => item('r' + i, '学生'.repeat(20), { note: '备注'.repeat(200) }));
  const days = {};
  for (let d = 1; d <= 60; d++) days[`2025-10-${String((d % 28) + 1).padStart(2, '0')}`] = rows;
  const r = await push(t, days);
  assert.equal(r.json.ok, true, r.text.slice(0, 200));
});

test('CORS: any origin, with Authorization and Content-Type', { timeout: 10000 }, async () => {
  const pre = await fetch(svc.api + '/state', { method: 'OPTIONS', headers: { Origin: 'null', 'Access-Control-Request-Method': 'PUT', 'Access-Control-Request-Headers': 'authorization,content-type' } });
  assert.equal(pre.status, 204);
  assert.equal(pre.headers.get('access-control-allow-origin'), '*');
  assert.match(pre.headers.get('access-control-allow-headers'), /Authorization/);
  assert.match(pre.headers.get('access-control-allow-methods'), /PUT/);
  const r = await call(svc, 'GET', '/me');
  assert.equal(r.headers.get('access-control-allow-origin'), '*');
});
