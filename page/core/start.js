// Start-up: load, publish the core interface, record the signatures, draw and save.

load();
window.__vl = { getState: () => state, setState, save, render, toast, todayStr };
window.__sigAll = sigAll;
window.__vlSig = {};
window.__vlMarkClean = () => {
  window.__vlSig = sigAll(state);
};
window.__vlMarkClean();
render();
if (window.performance && performance.mark) performance.mark('vl:drawn');
// The signatures just taken are the days' texts: the first save reuses them, and writes
// nothing when the stored text is already the same.
const sig = window.__vlSig;
for (const k of Object.keys(state.days)) if (Array.isArray(state.days[k])) dayCache.set(k, { list: state.days[k], json: sig[k] });
saveDays();
