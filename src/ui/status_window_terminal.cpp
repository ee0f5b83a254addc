// On Linux the status window is a few lines on stderr: Mainfrm's caption,
// "Script Corvaldo", then JvLbMensagem's text (the status message; PnFundo,
// the panel around it, has nothing to show here).
#include <cstdio>

#include "text/terminal_text.h"
#include "ui/user_interface.h"

namespace corvaldo {

void ShowStatusWindow(const std::string& text) {
  std::fprintf(stderr, "Script Corvaldo\n%s\n", TerminalText(text).c_str());
  std::fflush(stderr);
}

}  // namespace corvaldo
