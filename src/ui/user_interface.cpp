#include "ui/user_interface.h"

namespace corvaldo {

void PlatformUserInterface::ShowStatusWindow(const std::string& text) {
  corvaldo::ShowStatusWindow(text);
}

int PlatformUserInterface::ShowMessageDialog(const std::string& text, MessageKind kind) {
  return corvaldo::ShowMessageDialog(text, kind);
}

void PlatformUserInterface::ShowFailureReport(const std::string& text) {
  corvaldo::ShowFailureReport(text);
}

}  // namespace corvaldo
