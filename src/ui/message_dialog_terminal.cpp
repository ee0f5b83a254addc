// The message dialog on a terminal: the text and the kind's choices on stderr,
// answered from stdin only when stdin is a terminal.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "ui/cp1252.h"
#include "ui/terminal_text.h"
#include "ui/user_interface.h"

namespace corvaldo {

int ShowMessageDialog(const std::string& text, MessageKind kind) {
  static const char* const kChoices[] = {"[C]ontinuar", "[S]im  [N]\xE3o",
                                         "[S]im  [N]\xE3o  [C]ancelar"};
  const char* choices = kChoices[kind <= 2 ? kind : 0];
  std::fprintf(stderr, "%s\n%s\n", TerminalText(text).c_str(), TerminalText(choices).c_str());
  std::fflush(stderr);
  // Installers and scripts run us without a terminal: never wait on them.
  if (!isatty(STDIN_FILENO)) return 2;
  for (;;) {
    const int c = std::getchar();
    if (c == EOF) return 2;
    const int key = std::tolower(c);
    if (kind == 0 && (key == '\n' || key == 'c' || key == 27)) return 1;
    if (kind != 0 && key == 's') return 1;
    if (kind != 0 && key == 'n') return 0;
    if (kind == 2 && (key == 'c' || key == 27)) return 2;
  }
}

}  // namespace corvaldo
