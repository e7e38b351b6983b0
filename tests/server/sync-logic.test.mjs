// The page's fingerprints and three-way merge (page/lib/sync.js), and the service's C++ copy of
// them held against the JavaScript on tricky items and on random days.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { createInterface } from 'node:readline';
import { fpHash, fpItem, fpDay, sameFp, merge3 } from '../../page/lib/sync.js';
import { SYNC_TOOL, item } from './lib/service.mjs';

const ids = (list) => list.map((it) => (it.id ? it.id + '=' + it.name : '-' + it.name)).join(',');

test('fpHash: djb2 over UTF-16 code units in base 36', () => {
  assert.equal(fpHash('abc'), '3772q3');
  assert.equal(fpHash(''), '45h');
  // One astral character is two code units: the surrogate pair is hashed, not the code point.
  const pair = ((5381 * 33 + 0xd83d) * 33 + 0xde00) % 2 ** 32;
  assert.equal(fpHash('😀'), pair.toString(36));
});

test('fpDay and sameFp', () => {
  const a = item('a', 'A');
  assert.deepEqual(Object.keys(fpDay([a, { name: 'no id' }, { id: '', name: 'empty id' }])), ['a']);
  assert.deepEqual(fpDay(undefined), {});
  assert.equal(sameFp(undefined, {}), true);
  assert.equal(sameFp(fpDay([a]), fpDay([item('a', 'A')])), true);
  assert.equal(sameFp(fpDay([a]), fpDay([item('a', 'B')])), false);
  assert.equal(sameFp(fpDay([a]), fpDay([a, item('b', 'B')])), false);
  // The same content in another key order is another fingerprint.
  assert.notEqual(fpItem({ id: 'a', name: 'A' }), fpItem({ name: 'A', id: 'a' }));
});

test('merge3: the table of cases, mine winning every conflict', () => {
  const a = item('a', 'A'), a2 = item('a', 'A2'), a3 = item('a', 'A3'), b = item('b', 'B'), c = item('c', 'C');
  const rows = [
    ['untouched here, changed there', fpDay([a]), [a], [a2], 'a=A2'],
    ['changed here, untouched there', fpDay([a]), [a2], [a], 'a=A2'],
    ['changed on both sides', fpDay([a]), [a2], [a3], 'a=A2'],
    ['deleted there, untouched here', fpDay([a, b]), [a, b], [a], 'a=A'],
    ['deleted there, changed here', fpDay([a]), [a2], [], 'a=A2'],
    ['deleted here, changed there', fpDay([a]), [], [a2], ''],
    ['additions on both sides', fpDay([a]), [a, b], [a, c], 'a=A,b=B,c=C'],
    ['no base: union, mine wins', null, [a2], [a3, b], 'a=A2,b=B'],
    ['empty base behaves as none', {}, [a2], [a3, b], 'a=A2,b=B'],
    ['same change on both sides', fpDay([a]), [a2], [a2], 'a=A2'],
    ['mine order, then theirs new ones', fpDay([]), [b, a], [c, a], 'b=B,a=A,c=C'],
    ['missing lists', fpDay([a]), undefined, undefined, ''],
    ['item without id: kept here, dropped there', null, [{ name: 'x' }], [{ name: 'y' }, b], '-x,b=B'],
  ];
  for (const [what, base, mine, theirs, want] of rows) assert.equal(ids(merge3(base, mine, theirs)), want, what);
  // Theirs' version is taken as is, not a copy with mine's members.
  const out = merge3(fpDay([a]), [a], [item('a', 'A', { done: true, note: '改' })]);
  assert.deepEqual(out, [item('a', 'A', { done: true, note: '改' })]);
});

// The C++ tool answers one JSON line per request.
function tool() {
  const proc = spawn(SYNC_TOOL, [], { stdio: ['pipe', 'pipe', 'inherit'] });
  const lines = createInterface({ input: proc.stdout });
  const waiting = [];
  lines.on('line', (l) => waiting.shift()(JSON.parse(l)));
  return {
    ask: (req) =>
      new Promise((resolve) => {
        waiting.push(resolve);
        proc.stdin.write(JSON.stringify(req) + '\n');
      }),
    close: () => proc.stdin.end(),
  };
}

const TRICKY = [
  item('k1', '张三', { note: '第一行\n第二行', topics: ['①几何', '', '代数'] }),
  item('k2', '😀🎉 emoji 👩‍👩‍👧', { next: '𠀀 astral CJK' }),
  item('k3', 'quotes "double" \'single\'', { note: 'back\\slash \\n literal' }),
  item('k4', 'controls \u0000\u0001\u0008\u0009\u000b\u000c\u000d\u001f\u007f', { time: '08:10' }),
  item('k5', 'line sep \u2028 para \u2029 bom \ufeff nbsp \u00a0'),
  { note: 'key order', done: true, id: 'k6', name: 'reversed' },
  { id: 'k7', name: 'extra member', color: 'pink', score: 12.5, big: 1e21, small: 1e-7, neg: -0 },
  item('k8', '</script><!-- html -->'),
  { id: '', name: 'empty id' },
  { name: 'no id' },
];

test('the service computes the same JSON text and fingerprints as the page', { timeout: 20000 }, async () => {
  const t = tool();
  try {
    for (const it of TRICKY) {
      assert.equal(await t.ask({ stringify: it }), JSON.stringify(it), 'text of ' + it.name);
      assert.equal(await t.ask({ fpItem: it }), fpItem(it), 'fingerprint of ' + it.name);
      assert.equal(await t.ask({ fpHash: it.name }), fpHash(it.name), 'hash of ' + it.name);
    }
    assert.deepEqual(await t.ask({ fpDay: TRICKY }), fpDay(TRICKY));
  } finally {
    t.close();
  }
});

test('the service merges exactly as the page on random days', { timeout: 30000 }, async () => {
  const seed = Number(process.env.VELLORA_SEED || Date.now() % 1e9);
  let s = seed;
  const rnd = (n) => ((s = (s * 1103515245 + 12345) % 2147483648), s % n);
  const variant = (it) => ({ ...it, name: it.name + '·' + rnd(3), done: !!rnd(2) });
  const t = tool();
  try {
    for (let round = 0; round < 300; round++) {
      const pool = Array.from({ length: 6 }, (_, i) => item('i' + i, '学生' + i));
      const base = pool.filter(() => rnd(2));
      const side = () => {
        const out = [];
        for (const it of pool) {
          const r = rnd(5);
          if (r === 0) continue; // absent: deleted or never there
          out.push(r === 1 ? variant(it) : it);
        }
        if (rnd(4) === 0) out.push({ name: 'row without id' });
        return out.sort(() => rnd(3) - 1);
      };
      const baseFp = rnd(6) === 0 ? null : fpDay(base);
      const mine = side(), theirs = side();
      const want = merge3(baseFp, mine, theirs);
      assert.deepEqual(await t.ask({ merge3: [baseFp, mine, theirs] }), want, `seed ${seed}, round ${round}`);
    }
  } finally {
    t.close();
  }
});
