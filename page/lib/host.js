// The desktop host the page runs in and the texts of its setup dialog. Pure, as lib/dates.js.

// The desktop host the page runs in: "mac" under the macOS host's scheme, "win" when served by
// the desktop shell's loopback server, else "" (an ordinary browser, localhost or a file).
function hostKindOf(protocol, hostname) {
  if (protocol === 'vellora:') return 'mac';
  if (hostname === '127.0.0.1') return 'win';
  return '';
}

// The loopback path of a host command, e.g. /__vlra?cmd=autostart&on=1.
function hostPath(cmd, params) {
  let q = '/__vlra?cmd=' + encodeURIComponent(cmd);
  for (const k of Object.keys(params || {})) q += '&' + encodeURIComponent(k) + '=' + encodeURIComponent(params[k]);
  return q;
}

const SETUP_WIN_FOOT = 'Windows 的开机自启写入当前用户的注册表 Run 项；安装后自启指向安装位置，随便删下载目录里的原 exe 都不影响。';
const SETUP_LINUX_FOOT = 'Linux 的开机自启是当前用户登录会话里的一条自动启动项（~/.config/autostart）；安装后自启指向安装位置，随便删下载目录里的原程序都不影响。';
const SETUP_MAC_FOOT = 'Mac 的开机自启通过 LaunchAgents 实现；程序放在「应用程序」文件夹里最稳，搬家后重开一次自启即可。';

// The texts of the setup dialog for a host status `st` of the host `kind`. The Linux shell
// answers as the loopback host ("win") and names itself in the status's kind.
function setupTexts(kind, st) {
  const s = st || {};
  const installed = !!s.installed;
  const mac = kind === 'mac';
  const linux = !mac && s.kind === 'linux';
  let sub = mac ? '当前是 Mac 桌面版' : linux ? '当前是 Linux 桌面版' : '当前是 Windows 桌面版';
  if (mac && s.appPath) sub += '：' + s.appPath;
  let inst;
  if (mac) inst = installed ? '📌 已在「应用程序」文件夹' : '📌 安装到「应用程序」文件夹';
  else inst = installed ? '📌 已安装到电脑' : '📌 安装到电脑（含桌面 + 开始菜单图标）';
  return {
    sub,
    inst,
    loc: s.installedPath ? '位置：' + s.installedPath : '',
    installed,
    auto: s.autostart ? '✅ 已开启 · 点关闭' : '未开启 · 点开启',
    foot: mac ? SETUP_MAC_FOOT : linux ? SETUP_LINUX_FOOT : SETUP_WIN_FOOT,
  };
}

// @node-only
export { hostKindOf, hostPath, setupTexts };
