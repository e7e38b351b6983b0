// Page benchmark (prints figures, asserts nothing): one year of data, 365 days of 30 rows, stored in
// local storage of the page served by the Linux shell, measured in Chromium.
//   load:      navigation start to the first drawn day (the page's "vl:drawn" mark), per reload,
//              and to the browser's first paint
//   keystroke: one input event in a name field to the state saved, with the year stored
//   redraw:    render() of a 60-row day, style and layout included
// Usage: node bench/page-bench.mjs   (needs build/linux/vellora and /usr/bin/chromium)
import { launch, startShell } from '../tests/page/harness.mjs';

const DAYS = 365;
const ROWS = 30;
const BIG = 60;
const NAMES = ['张小明', '李华', '王芳', '赵磊', '陈静', '刘洋', '杨帆', '黄婷', '周杰', '吴敏', 'Amy', 'Ben', '孙悦', '马超', '朱琳'];
const TIMES = ['08:00', '08:30', '09:10', '10:20', '13:40', '15:00', '16:50', '19:30', '待定', '明天', '改天', ''];

function yearOfData() {
  const days = {};
  const start = Date.UTC(2025, 0, 1);
  let n = 0;
  let last = '';
  for (let d = 0; d < DAYS; d++) {
    last = new Date(start + d * 86400000).toISOString().slice(0, 10);
    const rows = d === DAYS - 1 ? BIG : ROWS;
    days[last] = Array.from({ length: rows }, (_, i) => {
      const count = (i * 7 + d) % 6;
      return {
        id: (1735689600000 + n++).toString(36) + 'ab' + (i % 36).toString(36) + 'z',
        name: NAMES[i % NAMES.length] + (i >= NAMES.length ? i : ''),
        count: String(count),
        time: TIMES[(i + d) % TIMES.length],
        done: (i + d) % 3 === 0,
        topics: Array.from({ length: count }, (_, k) => 'P' + (10 + k) + '-' + (i % 5)),
        next: i % 2 ? '复习第' + (i % 9) + '章' : '',
        note: i % 4 === 0 ? '家长说最近作业完成得不错，注意计算' : '',
      };
    });
  }
  return { days, current: last, settings: { autoNext: false } };
}

const median = (xs) => {
  const s = xs.slice().sort((a, b) => a - b);
  return s[Math.floor(s.length / 2)];
};
const fmt = (x) => x.toFixed(2).padStart(7);

const shell = await startShell();
const browser = await launch();
try {
  const context = await browser.newContext({ viewport: { width: 1360, height: 900 } });
  const page = await context.newPage();
  await page.goto(shell.url);

  const firstDrawn = async () => {
    const got = [];
    for (let i = 0; i < 9; i++) {
      await page.reload();
      got.push(await page.evaluate(() => performance.getEntriesByName('vl:drawn')[0].startTime));
    }
    return median(got);
  };
  // The same load with nothing stored: what this machine and browser take for the page itself.
  const baseline = await firstDrawn();

  const state = yearOfData();
  const text = JSON.stringify(state);
  const lastDay = state.current;
  await page.evaluate((t) => {
    localStorage.clear();
    localStorage.setItem('homework-planner-v5', t);
  }, text);

  const loads = [];
  const scripts = [];
  const paints = [];
  for (let i = 0; i < 9; i++) {
    await page.reload();
    const [drawn, paint] = await page.evaluate(() => new Promise((res) => {
      const drawnAt = performance.getEntriesByName('vl:drawn')[0].startTime;
      const fp = () => performance.getEntriesByName('first-paint')[0];
      const done = () => (fp() ? res([drawnAt, fp().startTime]) : requestAnimationFrame(() => setTimeout(done, 0)));
      done();
    }));
    loads.push(drawn);
    paints.push(paint);
    scripts.push(await page.evaluate(() => performance.getEntriesByName('vl:drawn')[0].startTime - performance.getEntriesByName('vl:start')[0].startTime));
  }
  const rowsShown = await page.locator('#lists tr[data-id]').count();

  // Keystrokes go into a row of a 30-row day; the saved state holds the whole year.
  const keys = await page.evaluate((day) => {
    const vl = window.__vl;
    vl.getState().current = day;
    vl.render();
    const el = document.querySelector('#rows [data-f="name"]');
    const out = [];
    for (let i = 0; i < 60; i++) {
      el.value += i % 10;
      const t0 = performance.now();
      el.dispatchEvent(new Event('input', { bubbles: true }));
      out.push(performance.now() - t0);
    }
    const saved = JSON.parse(localStorage.getItem('homework-planner-v5')).days[day].some((it) => it.name === el.value);
    return { out, saved };
  }, '2025-06-01');
  if (!keys.saved) throw new Error('the keystrokes were not saved');

  // The same keystrokes with the storage writes left out: the page's own share of a keystroke.
  const own = await page.evaluate(() => {
    const real = Storage.prototype.setItem;
    // a search through the text makes the engine lay the written string out, as a real write does
    Storage.prototype.setItem = function (k, v) {
      window.vlBenchSink = String(v).indexOf('\u0001');
    };
    const el = document.querySelector('#rows [data-f="name"]');
    const out = [];
    for (let i = 0; i < 60; i++) {
      el.value += i % 10;
      const t0 = performance.now();
      el.dispatchEvent(new Event('input', { bubbles: true }));
      out.push(performance.now() - t0);
    }
    Storage.prototype.setItem = real;
    return out;
  });

  const redraws = await page.evaluate((day) => {
    const vl = window.__vl;
    vl.getState().current = day;
    const out = [];
    for (let i = 0; i < 5; i++) vl.render(); // warm-up
    for (let i = 0; i < 30; i++) {
      const t0 = performance.now();
      vl.render();
      void document.body.offsetHeight;
      out.push(performance.now() - t0);
    }
    return out;
  }, lastDay);

  // What the storage itself costs here: one write of the whole state, which every save needs.
  const write = await page.evaluate(() => {
    const text = localStorage.getItem('homework-planner-v5');
    const out = [];
    for (let i = 0; i < 9; i++) {
      const t0 = performance.now();
      localStorage.setItem('vl-bench', text + i);
      out.push(performance.now() - t0);
    }
    localStorage.removeItem('vl-bench');
    return out;
  });

  const stored = await page.evaluate(() => localStorage.getItem('homework-planner-v5').length);
  console.log(`page benchmark: ${DAYS} days x ${ROWS} rows (+ one day of ${BIG}), ${(stored / 1e6).toFixed(2)} M characters stored`);
  console.log(`load to first drawn day  ${fmt(median(loads))} ms   (median of ${loads.length}; ${rowsShown} rows drawn; target < 150)`);
  console.log(`  the same, nothing stored ${fmt(baseline)} ms   (this machine's floor for the page)`);
  console.log(`  of which the page core ${fmt(median(scripts))} ms   (its script start to the day drawn: load, signatures, draw)`);
  console.log(`load to first paint      ${fmt(median(paints))} ms   (median of ${paints.length}; after the start-up save)`);
  console.log(`keystroke to saved       ${fmt(median(keys.out))} ms   (median of ${keys.out.length}; worst ${keys.out.reduce((a, b) => Math.max(a, b)).toFixed(2)}; target < 8)`);
  console.log(`  one storage write alone ${fmt(median(write))} ms   (a save writes the state and its "-prev" copy)`);
  console.log(`  without the writes     ${fmt(median(own))} ms   (the page's own share: edit, serialise, compare)`);
  console.log(`redraw of a ${BIG}-row day   ${fmt(median(redraws))} ms   (median of ${redraws.length}; target < 10)`);
  await context.close();
} finally {
  await browser.close();
  await shell.stop();
}
