// The message dialog on a terminal: the text and the kind's choices on stderr,
// answered from stdin only when stdin is a terminal.
//
// Mensagensfrm's pieces here: Label1's text is the first lines, and the
// visible SpeedButtons the line of choices under it, each with its mnemonic
// in brackets: [C]ontinuar (SpeedButton2), [S]im (1), [N]ão (3), [C]ancelar
// (4). A key answers as the mnemonic or FormKeyDown would (Return and Esc
// too), and the result is the DialogResult the button's click would give:
// 1 for Sim or Continuar, 0 for Não, 2 for Cancelar or no answer.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "text/cp1252.h"
#include "text/terminal_text.h"
#include "ui/terminal_dialog.h"
#include "ui/user_interface.h"

namespace corvaldo {

namespace {

// The messages the program words in Portuguese only, as the Windows dialog
// shows them, and the English line the terminal adds under each, as under
// the status message's Portuguese.
struct EnglishLine {
  const char* portuguese;
  const char* english;
};
constexpr EnglishLine kEnglishLines[] = {
    {"O TCM 2005 n\xE3o est\xE1 instalado!", "TCM 2005 is not installed!"},
};

}  // namespace

int ShowMessageDialog(const std::string& text, MessageKind kind) {
  std::string lines = text;
  for (const EnglishLine& line : kEnglishLines) {
    if (text == line.portuguese) lines += std::string("\n") + line.english;
  }
  return ShowTerminalDialog(TerminalText(lines), kind);
}

int ShowTerminalDialog(const std::string& utf8, MessageKind kind) {
  static const char* const kChoices[] = {"[C]ontinuar", "[S]im  [N]\xE3o",
                                         "[S]im  [N]\xE3o  [C]ancelar"};
  const char* choices = kChoices[kind <= 2 ? kind : 0];
  std::fprintf(stderr, "%s\n%s\n", utf8.c_str(), TerminalText(choices).c_str());
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
