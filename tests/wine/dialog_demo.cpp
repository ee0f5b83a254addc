// Shows the message dialog once, for the Wine tests and the screenshots:
//   dialog_demo <kind> [line...]
// The lines (CP1252, "\xNN" escapes allowed) are joined with CR LF; the
// dialog's result is the exit code.
#include <cstdlib>
#include <string>

#include "ui/user_interface.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Keeps the texts byte-exact whatever code page Wine gives the command line.
std::string Unescape(const std::string& arg) {
  std::string out;
  for (std::size_t i = 0; i < arg.size(); ++i) {
    if (arg[i] == '\\' && i + 3 < arg.size() && arg[i + 1] == 'x' && HexDigit(arg[i + 2]) >= 0 &&
        HexDigit(arg[i + 3]) >= 0) {
      out += static_cast<char>(HexDigit(arg[i + 2]) * 16 + HexDigit(arg[i + 3]));
      i += 3;
    } else {
      out += arg[i];
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 100;
  const int kind = std::atoi(argv[1]);
  std::string text;
  for (int i = 2; i < argc; ++i) {
    if (i > 2) text += "\r\n";
    text += Unescape(argv[i]);
  }
  return corvaldo::ShowMessageDialog(text, static_cast<corvaldo::MessageKind>(kind));
}
