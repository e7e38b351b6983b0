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
inline constexpr const wchar_t *kLogOpenRequested = L"[open] 收到打开主窗口的请求";
