// The failure report on Linux: stderr, under the box's title.
#include <cstdio>
#include <string>

#include "text/terminal_text.h"
#include "ui/user_interface.h"

namespace corvaldo {

void ShowFailureReport(const std::string& text) {
  std::fprintf(stderr, "Application Error\n%s", TerminalText(text).c_str());
  std::fflush(stderr);
}

}  // namespace corvaldo
