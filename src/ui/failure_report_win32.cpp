// The top-level failure report as a Windows message box.
#include <windows.h>

#include <string>

#include "ui/user_interface.h"

namespace corvaldo {

void ShowFailureReport(const std::string& text) {
  // No owner: the status window may be up, but the box must not depend on it.
  MessageBoxA(nullptr, text.c_str(), "Application Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

}  // namespace corvaldo
