// Modal the toolkit's way: the thread's other top-level windows are disabled
// while a modal window runs, and the active one owns it.
#pragma once

#include <windows.h>

#include <vector>

namespace corvaldo {

// The thread's other top-level windows, disabled while the dialog runs and
// enabled again by Restore or on scope exit.
class TaskWindowsDisabler {
 public:
  TaskWindowsDisabler() {
    EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(&windows_));
    for (const HWND window : windows_) EnableWindow(window, FALSE);
  }
  ~TaskWindowsDisabler() { Restore(); }
  TaskWindowsDisabler(const TaskWindowsDisabler&) = delete;
  TaskWindowsDisabler& operator=(const TaskWindowsDisabler&) = delete;

  // The window to own the dialog: the active one if it is among them.
  HWND Owner() const {
    const HWND active = GetActiveWindow();
    for (const HWND window : windows_) {
      if (window == active) return window;
    }
    return windows_.empty() ? nullptr : windows_.front();
  }

  void Restore() {
    for (const HWND window : windows_) EnableWindow(window, TRUE);
    windows_.clear();
  }

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM list) {
    if (IsWindowVisible(window) && IsWindowEnabled(window)) {
      reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    }
    return TRUE;
  }

  std::vector<HWND> windows_;
};

}  // namespace corvaldo
