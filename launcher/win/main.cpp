// Process start-up, single instance and the main thread's message loop.
#include "shell.hpp"

#include "core/startup.hpp"
#include "core/texts.hpp"

static void become_dpi_aware() {
  HMODULE user32 = LoadLibraryW(L"user32.dll");
  if (!user32)
    return;
  using SetAware = BOOL(WINAPI *)();
  auto set_aware =
      reinterpret_cast<SetAware>(reinterpret_cast<void *>(GetProcAddress(user32, "SetProcessDPIAware")));
  if (set_aware)
    set_aware();
  FreeLibrary(user32);
}

// A second start hands its request to the running shell and ends.
static void hand_over(bool ball_only) {
  if (ball_only)
    return; // a log-on start while the shell already runs has nothing to do
  // The first shell may still be starting: give it the time its own start-up takes to show the
  // ball. Without a ball this process opens the first shell's address itself, never the page
  // file, which is another origin with an empty planner.
  HWND ball = nullptr;
  for (int i = 0; i < 100 && !(ball = FindWindowW(kBallClass, kBallName)); ++i)
    Sleep(30);
  if (ball) {
    PostMessageW(ball, WM_OPEN_MAIN, 0, 0);
    return;
  }
  g_port = static_cast<unsigned short>(read_remembered_port());
  open_main();
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int) {
  const bool ball_only = has_ball_only(arguments);
  become_dpi_aware();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
  if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
    hand_over(ball_only);
    CloseHandle(mutex);
    return 0;
  }

  HANDLE server = CreateThread(nullptr, 0, http_thread, nullptr, 0, nullptr);
  if (server)
    CloseHandle(server);
  for (int i = 0; i < 100 && g_port == 0; ++i)
    Sleep(30);
  if (g_port)
    logf(kLogHttpStarted, static_cast<unsigned>(g_port));
  else
    logf(kLogHttpFailed);

  if (ball_only)
    logf(kLogBootBallOnly);
  else
    open_main();

  if (!create_ball(instance, ball_only))
    return 1;

  MSG msg{};
  int result;
  while ((result = GetMessageW(&msg, nullptr, 0, 0)) > 0) { // -1 (an error) ends the loop too
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  KillTimer(g_hwnd, 1);
  if (mutex)
    CloseHandle(mutex);
  return result < 0 ? 0 : result;
}
