// Holds Wine's desktop for the Wine tests. Wine's desktop process
// (explorer.exe) lives only while some program uses the desktop, and a
// program that finds it gone starts it again and gives it ten seconds, too
// short for i386 code under qemu on a busy machine. This one uses the desktop
// through a window it never shows, and waits until the Wine server ends it.
// Exit 1 when the window could not be made (the desktop was not up in time).
#include <windows.h>

int main() {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "CorvaldoKeepDesktop";
  if (RegisterClassA(&windowClass) == 0) return 1;
  if (CreateWindowExA(WS_EX_TOOLWINDOW, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 1, 1,
                      nullptr, nullptr, instance, nullptr) == nullptr) {
    return 1;
  }
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}
