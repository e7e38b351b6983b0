// The bridge to a desktop host: host commands and the setup dialog.

const HOST_KIND = hostKindOf(location.protocol, location.hostname);
const MAC_WAIT_MS = 8000;
const macCbs = new Map(); // token -> the resolve of a command waiting for the macOS host
let hostSt = null;

const $setupBtn = $('setupBtn');
const $setupBox = $('setupBox');
const $sSub = $('sSub');
const $sInstTxt = $('sInstTxt');
const $sInstSt = $('sInstSt');
const $sInstallBtn = $('sInstallBtn');
const $sAutoBtn = $('sAutoBtn');
const $sFoot = $('sFoot');

// A reply is an object or nothing: a body such as "null" or "5" counts as no reply.
const replyOf = (r) => (r && typeof r === 'object' ? r : undefined);

// Sends one host command; the promise always resolves, to the reply or to nothing.
function hostCmd(cmd, params) {
  const p = params || {};
  try {
    if (HOST_KIND === 'win') {
      // The custom header keeps other sites out: a cross-origin page cannot send it without a preflight,
      // which the shell never grants.
      return fetch(hostPath(cmd, p), { cache: 'no-store', headers: { 'X-Vellora-Host': '1' } }).then((r) => r.json()).then(replyOf, () => undefined);
    }
    const mh = HOST_KIND === 'mac' && window.webkit && window.webkit.messageHandlers;
    if (mh && mh.vlraLaunch) {
      let tok;
      do tok = 't' + Date.now() + Math.floor(Math.random() * 100000);
      while (macCbs.has(tok));
      return new Promise((resolve) => {
        const done = (r) => resolve(replyOf(r));
        macCbs.set(tok, done);
        setTimeout(() => {
          if (macCbs.get(tok) !== done) return;
          macCbs.delete(tok);
          done(undefined);
        }, MAC_WAIT_MS);
        try {
          mh.vlraLaunch.postMessage(JSON.stringify({ cmd, cb: tok, params: p }));
        } catch (e) {
          macCbs.delete(tok);
          done(undefined);
        }
      });
    }
  } catch (e) {
    // falls through to no reply
  }
  return Promise.resolve(undefined);
}

// The macOS host delivers its replies here; a token nobody waits for any more is ignored.
window.__vlraApply = (token, reply) => {
  const done = macCbs.get(token);
  if (!done) return;
  macCbs.delete(token);
  done(reply);
};

function renderSetup() {
  if (!hostSt) return;
  const t = setupTexts(HOST_KIND, hostSt);
  $sSub.textContent = t.sub;
  $sInstTxt.textContent = t.inst;
  $sInstSt.textContent = t.loc;
  $sInstSt.className = t.installed ? 'st okst' : 'st';
  $sInstallBtn.hidden = t.installed;
  $sAutoBtn.textContent = t.auto;
  $sFoot.textContent = t.foot;
}

function askStatus() {
  return hostCmd('status').then((r) => {
    if (!r) return;
    hostSt = r;
    renderSetup();
  });
}

function openSetup() {
  $setupBox.classList.add('show');
  $setupBox.querySelector('[data-s="close"]').focus({ preventScroll: true });
  askStatus();
}

function closeSetup() {
  if (!$setupBox.classList.contains('show')) return;
  $setupBox.classList.remove('show');
  if (HOST_KIND) $setupBtn.focus({ preventScroll: true });
}

if (HOST_KIND) $setupBtn.hidden = false;
$setupBtn.addEventListener('click', openSetup);
$setupBox.addEventListener('mousedown', (e) => {
  if (e.target === $setupBox) closeSetup();
});
$setupBox.addEventListener('click', (e) => {
  if (e.target.closest('[data-s="close"]')) closeSetup();
});
document.addEventListener('keydown', (e) => {
  if (e.key === 'Escape' && $setupBox.classList.contains('show')) {
    e.preventDefault();
    closeSetup();
  }
});

$sInstallBtn.addEventListener('click', () => {
  $sInstallBtn.disabled = true;
  $sInstallBtn.textContent = '安装中…';
  hostCmd('install').then((r) => {
    $sInstallBtn.disabled = false;
    $sInstallBtn.textContent = '一键安装';
    if (r && r.ok) {
      toast('📌 已安装好，开机自启也顺手开啦');
      askStatus();
    } else {
      toast(r && r.error ? '安装没成功：' + r.error : '安装没成功，稍后再试试');
    }
  });
});

$sAutoBtn.addEventListener('click', () => {
  const on = !(hostSt && hostSt.autostart);
  $sAutoBtn.disabled = true;
  hostCmd('autostart', { on: on ? 1 : 0 }).then((r) => {
    $sAutoBtn.disabled = false;
    if (r && r.ok) {
      if (!hostSt) hostSt = {};
      hostSt.autostart = !!r.autostart;
      renderSetup();
      toast(r.autostart ? '🚀 开机自启已开启，下次开机直接挂球' : '已关闭开机自启');
    } else {
      toast('设置没成功，稍后再试试');
    }
  });
});
