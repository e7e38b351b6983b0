// Durability: a kill -9 during a burst of pushes loses no push that got an ok reply, and the
// service starts again on the same data folder.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { startService, call, admin, teacher, item } from './lib/service.mjs';

test('kill -9 during a burst of pushes, then a restart', { timeout: 60000 }, async () => {
  let svc = await startService();
  const data = svc.data;
  try {
    const adm = await admin(svc);
    const t = await teacher(svc, adm, 'durable');
    const acked = [];
    let stop = false;
    const device = async (n) => {
      for (let i = 0; !stop; i++) {
        const id = `d${n}-${i}`;
        const day = `2025-11-${String((i % 28) + 1).padStart(2, '0')}`;
        try {
          const r = await call(svc, 'PUT', '/state', { token: t.token, body: { days: { [day]: [item(id, '学生 ' + id)] }, base: {} } });
          if (r.json?.ok) acked.push([day, id]);
        } catch {
          return; // the service is gone
        }
      }
    };
    const devices = [0, 1, 2, 3].map(device);
    await new Promise((r) => setTimeout(r, 1500));
    await svc.kill9();
    stop = true;
    await Promise.all(devices);
    assert.ok(acked.length > 10, `only ${acked.length} pushes were acknowledged`);

    svc = await startService({ data });
    const st = (await call(svc, 'GET', '/state', { token: t.token })).json.state;
    const lost = acked.filter(([day, id]) => !(st.days[day] || []).some((it) => it.id === id));
    assert.deepEqual(lost, []);
    // Revisions go on from where they were.
    const top = Math.max(...Object.values(st.rev));
    const r = await call(svc, 'PUT', '/state', { token: t.token, body: { days: { '2026-01-01': [item('after', '重启后')] } } });
    assert.ok(r.json.rev['2026-01-01'] > top);
    const { code } = await svc.stop();
    assert.equal(code, 0, 'SIGTERM ends the service cleanly');
  } finally {
    await svc.stop();
    svc.cleanup();
  }
});
