// Names and texts of the shell: identifiers other processes look for, and every launch-log line.
#pragma once

#define VL_PRODUCT L"Vellora"
#define VL_DIR_NAME L"Doremkin"

inline constexpr const wchar_t *kProductName = VL_PRODUCT;
inline constexpr const wchar_t *kAppDirName = VL_DIR_NAME;
inline constexpr const wchar_t *kMutexName = L"Doremkin_SingleInstance";
inline constexpr const wchar_t *kBallClass = L"DoremkinBall";
inline constexpr const wchar_t *kBallName = L"排期球";
inline constexpr const wchar_t *kBallOnlySwitch = L"--ball-only";
inline constexpr const wchar_t *kLogFileName = L"launch.log";
inline constexpr const wchar_t *kPortFileName = L"port.txt";
inline constexpr const wchar_t *kBallPosFileName = L"ballpos.txt";
inline constexpr const wchar_t *kProfileDirName = L"profile";
inline constexpr const wchar_t *kPageFileName = L"app.html";
inline constexpr const wchar_t *kRunValueName = L"Doremkin";

// Launch-log lines. "%ls" is a wide string under both the Microsoft and the C99 printf
// conventions, so the same formats serve the Windows and the Linux shell.
inline constexpr const wchar_t *kLogHttpStarted = L"[http] 本地服务已启动 端口=%u";
inline constexpr const wchar_t *kLogHttpFailed = L"[err] 本地服务没起来（WSAStartup/bind 失败）";
inline constexpr const wchar_t *kLogBootBallOnly = L"[boot] 开机自启：只挂悬浮球，不弹主窗口";
inline constexpr const wchar_t *kLogPortChanged =
    L"[warn] 上次的端口 %u 被占用，改用端口 %u：页面地址变了，浏览器里的本地数据留在旧地址下";
inline constexpr const wchar_t *kLogNoDataDir = L"[err] 无法创建数据目录";
inline constexpr const wchar_t *kLogLaunch = L"[launch] appmode=%d port=%u browser=%ls ret=%d";
inline constexpr const wchar_t *kLogLaunchFailed = L"[err] ShellExecute 失败 ret=%d lastErr=%lu";
inline constexpr const wchar_t *kLogFallbackWarn = L"[warn] 端口=%u 浏览器找到=%d，走兜底";
inline constexpr const wchar_t *kLogPageWriteFailed = L"[err] 写 app.html 失败";
inline constexpr const wchar_t *kLogFallbackOpen = L"[fallback] 直接打开 %ls";
inline constexpr const wchar_t *kLogOpenActivated = L"[open] 已有主窗口，直接激活";
inline constexpr const wchar_t *kLogWatchdogRetry = L"[watchdog] 5 秒内没见到主窗口，改用普通模式重试";
inline constexpr const wchar_t *kLogWatchdogOk = L"[watchdog] 主窗口已出现，标题读取正常";
inline constexpr const wchar_t *kLogAutostartWritten = L"[autostart] 已写入 Run 项：%ls";
inline constexpr const wchar_t *kLogAutostartDeleted = L"[autostart] 已删除 Run 项";
inline constexpr const wchar_t *kLogAutostartWriteFailed = L"[warn] 没能写入 Run 项：%ls";
inline constexpr const wchar_t *kLogAutostartDeleteFailed = L"[warn] 没能删除 Run 项";
inline constexpr const wchar_t *kLogShortcutFailed = L"[warn] 没能创建快捷方式：%ls";
inline constexpr const wchar_t *kLogInstallCopyFailed = L"[install] 拷贝自身失败 err=%lu";
inline constexpr const wchar_t *kLogInstallDone = L"[install] 安装完成：%ls";
inline constexpr const wchar_t *kLogBallDragged = L"[ball] 已拖动到新位置并保存";
inline constexpr const wchar_t *kLogBallClick = L"[ball] 单击，打开主窗口";
inline constexpr const wchar_t *kLogBallDoubleClick = L"[ball] 双击，打开主窗口";
inline constexpr const wchar_t *kLogBallMenu = L"[ball] 右键菜单";
inline constexpr const wchar_t *kLogBallMenuOpen = L"[ball] 菜单：打开主窗口";
inline constexpr const wchar_t *kLogBallMenuExit = L"[ball] 菜单：退出";
inline constexpr const wchar_t *kLogBallMenuAutostart = L"[ball] 菜单：开机自启 -> %d";
inline constexpr const wchar_t *kLogBallMenuInstalled = L"[ball] 菜单：安装完成 %ls";
