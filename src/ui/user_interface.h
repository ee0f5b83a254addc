// The user-interface seam: what the run shows the user. Win32 draws windows;
// Linux writes to the terminal. Tests substitute a recording fake.
#pragma once

#include <cstdint>
#include <string>

namespace corvaldo {

// 0: Continuar; 1: Sim, Não; 2: Sim, Não, Cancelar.
using MessageKind = std::uint8_t;

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Shows the status window with `text` and lets it paint once; it stays up
  // until the process exits.
  virtual void ShowStatusWindow(const std::string& text) = 0;
  // Modal; 1 for Sim or Continuar, 0 for Não, 2 otherwise.
  virtual int ShowMessageDialog(const std::string& text, MessageKind kind) = 0;
  // The top-level failure report, titled "Application Error".
  virtual void ShowFailureReport(const std::string& text) = 0;
};

// Each platform's views, forwarding to ShowStatusWindow, ShowMessageDialog and
// ShowFailureReport below.
class PlatformUserInterface final : public UserInterface {
 public:
  void ShowStatusWindow(const std::string& text) override;
  int ShowMessageDialog(const std::string& text, MessageKind kind) override;
  void ShowFailureReport(const std::string& text) override;
};

// Implemented once per platform (status_window_*, message_dialog_*,
// failure_report_*).
void ShowStatusWindow(const std::string& text);
int ShowMessageDialog(const std::string& text, MessageKind kind);
void ShowFailureReport(const std::string& text);

}  // namespace corvaldo
