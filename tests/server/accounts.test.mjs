// Accounts against the running service: the life cycle, the admin calls and their refusals,
// tokens and sign-in limits.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { startService, call, admin, login, teacher, runCli, item } from './lib/service.mjs';

let svc, adm;
before(async () => {
  svc = await startService();
  adm = await admin(svc);
});
after(async () => {
  await svc?.stop();
  svc?.cleanup();
});

test('life cycle: register, wait, approval, sign-in, profile, password, sign-out', { timeout: 30000 }, async () => {
  const reg = await call(svc, 'POST', '/register', { body: { username: 'Li.Ming', password: 'pw-1', displayName: ' 李明 ' } });
  assert.equal(reg.status, 200);
  assert.equal(reg.json.ok, true);
  assert.match(reg.json.msg, /审核/);
  const again = await call(svc, 'POST', '/register', { body: { username: 'li.ming', password: 'other', displayName: 'x' } });
  assert.deepEqual([again.status, again.json.ok], [409, false], 'names are unique regardless of case');

  const pending = await call(svc, 'POST', '/login', { body: { username: 'Li.Ming', password: 'pw-1' } });
  assert.equal(pending.status, 403);
  assert.match(pending.json.error, /等管理员审核/);

  const users = (await call(svc, 'GET', '/admin/users', { token: adm.token })).json.users;
  const li = users.find((u) => u.username === 'Li.Ming');
  assert.deepEqual({ ...li, id: 0 }, { id: 0, username: 'Li.Ming', displayName: '李明', avatar: '', theme: '', role: 'user', status: 'pending', dayCnt: 0 });
  let stats = (await call(svc, 'GET', '/admin/stats', { token: adm.token })).json;
  assert.equal(stats.pending, 1);

  assert.equal((await call(svc, 'POST', '/admin/user', { token: adm.token, body: { action: 'approve', id: li.id } })).json.ok, true);
  stats = (await call(svc, 'GET', '/admin/stats', { token: adm.token })).json;
  assert.deepEqual([stats.total, stats.active, stats.pending], [2, 2, 0]);

  const s1 = await login(svc, 'li.ming', 'pw-1'); // the name in any case
  assert.match(s1.token, /^[0-9a-f]{64}$/);
  assert.deepEqual(s1.user, { id: li.id, username: 'Li.Ming', displayName: '李明', avatar: '', theme: '', role: 'user' });
  assert.deepEqual(s1.state, { days: {}, rev: {}, settings: {}, settingsRev: 0 });

  // Both header forms carry the token.
  const me = await call(svc, 'GET', '/me', { token: s1.token });
  const me2 = await call(svc, 'GET', '/me', { token: 'Bearer ' + s1.token });
  assert.equal(me.json.user.id, li.id);
  assert.deepEqual(me2.json, me.json);

  for (const body of [{ avatar: '🦊' }, { theme: 'mint' }, { displayName: '李老师' }])
    assert.equal((await call(svc, 'POST', '/profile', { token: s1.token, body })).json.ok, true);
  const u = (await call(svc, 'GET', '/me', { token: s1.token })).json.user;
  assert.deepEqual([u.avatar, u.theme, u.displayName], ['🦊', 'mint', '李老师']);
  for (const body of [{}, { displayName: '  ' }, { theme: 'x y' }, { avatar: 5 }, { displayName: 'x'.repeat(40) }]) {
    const r = await call(svc, 'POST', '/profile', { token: s1.token, body });
    assert.deepEqual([r.status, r.json.ok], [400, false], JSON.stringify(body));
  }

  // A password change ends every session, this one included.
  const s2 = await login(svc, 'Li.Ming', 'pw-1');
  const wrongOld = await call(svc, 'POST', '/password', { token: s1.token, body: { oldPassword: 'nope', newPassword: 'pw-2' } });
  assert.equal(wrongOld.status, 403);
  const short = await call(svc, 'POST', '/password', { token: s1.token, body: { oldPassword: 'pw-1', newPassword: 'abc' } });
  assert.equal(short.status, 400);
  assert.equal((await call(svc, 'POST', '/password', { token: s1.token, body: { oldPassword: 'pw-1', newPassword: 'pw-2' } })).json.ok, true);
  for (const t of [s1.token, s2.token]) assert.equal((await call(svc, 'GET', '/me', { token: t })).status, 401);
  assert.equal((await call(svc, 'POST', '/login', { body: { username: 'Li.Ming', password: 'pw-1' } })).status, 401);

  // Sign-out ends only that session.
  const s3 = await login(svc, 'Li.Ming', 'pw-2');
  const s4 = await login(svc, 'Li.Ming', 'pw-2');
  assert.equal((await call(svc, 'POST', '/logout', { token: s3.token })).json.ok, true);
  assert.equal((await call(svc, 'GET', '/me', { token: s3.token })).status, 401);
  assert.equal((await call(svc, 'GET', '/me', { token: s4.token })).status, 200);
});

test('rejection and deletion end sessions; deletion takes every day', { timeout: 30000 }, async () => {
  const t = await teacher(svc, adm, 'wang');
  await call(svc, 'PUT', '/state', { token: t.token, body: { days: { '2025-03-03': [item('w1', '王')] }, base: {} } });
  assert.equal((await call(svc, 'POST', '/admin/user', { token: adm.token, body: { action: 'reject', id: t.id } })).json.ok, true);
  assert.equal((await call(svc, 'GET', '/me', { token: t.token })).status, 401);
  const refused = await call(svc, 'POST', '/login', { body: { username: 'wang', password: 'pass-wang' } });
  assert.equal(refused.status, 403);
  assert.match(refused.json.error, /没有通过/);

  assert.equal((await call(svc, 'POST', '/admin/user', { token: adm.token, body: { action: 'approve', id: t.id } })).json.ok, true);
  const back = await login(svc, 'wang', 'pass-wang');
  assert.equal(back.state.days['2025-03-03'][0].id, 'w1', 'rejection keeps the data');
  assert.equal((await call(svc, 'POST', '/admin/user', { token: adm.token, body: { action: 'delete', id: t.id } })).json.ok, true);
  assert.equal((await call(svc, 'GET', '/me', { token: back.token })).status, 401);
  assert.equal((await call(svc, 'GET', `/admin/state?user=${t.id}`, { token: adm.token })).status, 404);
  // A new account of the same name starts empty.
  const fresh = await teacher(svc, adm, 'wang');
  assert.deepEqual(fresh.state.days, {});
  assert.notEqual(fresh.id, t.id);
});

test('admin rules: create with a role, reset, self and last administrator', { timeout: 30000 }, async () => {
  const mk = await call(svc, 'POST', '/admin/user', {
    token: adm.token,
    body: { action: 'create', username: 'zhao', password: 'zhao-pw', displayName: '赵老师', role: 'admin' },
  });
  assert.equal(mk.json.ok, true);
  const zhao = await login(svc, 'zhao', 'zhao-pw'); // active at once
  assert.equal(zhao.user.role, 'admin');
  const bad = [
    [{ action: 'create', username: 'q1', password: 'qqqq', role: 'root' }, 400],
    [{ action: 'create', username: 'q2', password: 'qqq' }, 400],
    [{ action: 'create', username: 'zhao', password: 'qqqq' }, 409],
    [{ action: 'fly', id: zhao.id }, 400],
    [{ action: 'approve', id: 99999 }, 404],
    [{ action: 'approve' }, 404],
    [{ action: 'reset', id: zhao.id, password: 'abc' }, 400],
    [{ action: 'delete', id: adm.id }, 403], // oneself
    [{ action: 'reject', id: adm.id }, 403],
  ];
  for (const [body, status] of bad) {
    const r = await call(svc, 'POST', '/admin/user', { token: adm.token, body });
    assert.deepEqual([r.status, r.json.ok], [status, false], JSON.stringify(body));
  }
  assert.equal((await call(svc, 'POST', '/admin/user', { token: adm.token, body: { action: 'reset', id: zhao.id, password: 'new-zhao' } })).json.ok, true);
  assert.equal((await call(svc, 'GET', '/me', { token: zhao.token })).status, 401, 'a reset ends the sessions');
  const z2 = await login(svc, 'zhao', 'new-zhao');
  // zhao deletes boss; then zhao is the last administrator and cannot go by any hand.
  assert.equal((await call(svc, 'POST', '/admin/user', { token: z2.token, body: { action: 'delete', id: adm.id } })).json.ok, true);
  const self = await call(svc, 'POST', '/admin/user', { token: z2.token, body: { action: 'delete', id: z2.id } });
  assert.equal(self.status, 403);
  // The command line brings an administrator back (here: boss, created anew).
  adm = await admin(svc);
  assert.equal((await call(svc, 'POST', '/admin/user', { token: adm.token, body: { action: 'delete', id: z2.id } })).json.ok, true);
  const last = await call(svc, 'POST', '/admin/user', { token: adm.token, body: { action: 'delete', id: adm.id } });
  assert.equal(last.status, 403);
  // --add-admin on an existing account resets its password and makes it an active admin.
  const t = await teacher(svc, adm, 'sun');
  assert.equal(runCli(svc.data, ['--add-admin', 'sun'], 'sun-admin\n').code, 0);
  assert.equal((await call(svc, 'GET', '/me', { token: t.token })).status, 401);
  assert.equal((await login(svc, 'sun', 'sun-admin')).user.role, 'admin');
  assert.notEqual(runCli(svc.data, ['--add-admin', 'x y'], 'whatever\n').code, 0);
  assert.notEqual(runCli(svc.data, ['--add-admin', 'shorty'], 'abc\n').code, 0);
});

test('authorisation matrix: every call with no token, a user token and an admin token', { timeout: 30000 }, async () => {
  const user = await teacher(svc, adm, 'matrix');
  const other = await teacher(svc, adm, 'matrix2');
  const calls = [
    ['GET', '/me', undefined, 'user'],
    ['POST', '/logout', undefined, 'user'],
    ['POST', '/profile', { avatar: '🐼' }, 'user'],
    ['GET', '/state', undefined, 'user'],
    ['GET', '/state?only=rev', undefined, 'user'],
    ['PUT', '/state', { days: {} }, 'user'],
    ['GET', '/admin/users', undefined, 'admin'],
    ['GET', '/admin/stats', undefined, 'admin'],
    ['POST', '/admin/user', { action: 'approve', id: other.id }, 'admin'],
    ['GET', `/admin/state?user=${other.id}`, undefined, 'admin'],
  ];
  for (const [method, path, body, needs] of calls) {
    const none = await call(svc, method, path, { body });
    assert.deepEqual([none.status, none.json.ok], [401, false], `${method} ${path} without a token`);
    const forged = await call(svc, method, path, { body, token: 'f'.repeat(64) });
    assert.equal(forged.status, 401, `${method} ${path} with a made-up token`);
    const asUser = await call(svc, method, path, { body, token: (await login(svc, 'matrix', 'pass-matrix')).token });
    assert.deepEqual([asUser.status, asUser.json.ok], needs === 'user' ? [200, true] : [403, false], `${method} ${path} as a user`);
    const asAdmin = await call(svc, method, path, { body, token: (await admin(svc)).token });
    assert.deepEqual([asAdmin.status, asAdmin.json.ok], [200, true], `${method} ${path} as an admin`);
  }
  // Sign-in and registration need no token.
  assert.equal((await call(svc, 'POST', '/login', { body: { username: 'matrix', password: 'pass-matrix' } })).status, 200);
  assert.equal(user.user.role, 'user');
});

test('sign-in limits: ten failures per account and address, then 429', { timeout: 60000 }, async () => {
  // A service of its own: every test signs in from 127.0.0.1, which has a limit of its own.
  const own = await startService();
  try {
    const boss = await admin(own);
    await teacher(own, boss, 'guessme', 'right-pw');
    const unknown = await call(own, 'POST', '/login', { body: { username: 'nobody', password: 'x' } });
    assert.deepEqual([unknown.status, unknown.json.error], [401, '账号或密码不对'], 'an unknown account says nothing more');
    for (let i = 0; i < 9; i++) {
      const r = await call(own, 'POST', '/login', { body: { username: 'guessme', password: 'wrong' + i } });
      assert.deepEqual([r.status, r.json.error], [401, '账号或密码不对']);
    }
    // Nine failures on the account, ten from this address: the right password is refused now.
    const locked = await call(own, 'POST', '/login', { body: { username: 'GUESSME', password: 'right-pw' } });
    assert.equal(locked.status, 429);
    assert.match(locked.json.error, /15 分钟/);
    const fromHere = await call(own, 'POST', '/login', { body: { username: 'boss', password: 'boss-pass' } });
    assert.equal(fromHere.status, 429, 'the address is limited for every account');
    // Sessions already held keep working.
    assert.equal((await call(own, 'GET', '/me', { token: boss.token })).status, 200);
  } finally {
    await own.stop();
    own.cleanup();
  }
});
