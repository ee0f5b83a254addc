// On Linux the game lives in a Wine prefix: the one the user names in
// WINEPREFIX, else the one the search of the launchers' places finds.
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "app/game_location.h"
#include "ui/cp1252.h"
#include "ui/terminal_text.h"
#include "wine/wine_path.h"
#include "wine/wine_prefix.h"

namespace corvaldo {
namespace {

// The value the search already read, handed on so the run sees what the user
// was told; nothing when no prefix holds the game.
class FoundRegistry final : public Registry {
 public:
  explicit FoundRegistry(std::optional<RegistryValue> value) : value_(std::move(value)) {}
  std::optional<RegistryValue> QueryInstallDir() override { return value_; }

 private:
  std::optional<RegistryValue> value_;
};

// As a POSIX shell reads it back: plain when it holds only characters no shell
// treats specially, else in single quotes. Bytes are kept as they are.
std::string ShellWord(const std::string& word) {
  bool plain = !word.empty();
  for (const char c : word) {
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      std::string_view("_@%+=:,./-").find(c) != std::string_view::npos;
    plain = plain && safe;
  }
  if (plain) return word;
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The install folder for the terminal, on one line whatever it holds.
std::string InstallDirForTerminal(const RegistryValue& value) {
  if (value.type != kRegSz && value.type != kRegExpandSz) {
    return TerminalText("(n\xE3o \xE9 texto / not text)");
  }
  std::string dir = value.data.substr(0, value.data.find('\0'));
  for (char& c : dir) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return TerminalText(dir);
}

void Print(const std::string& utf8) {
  std::fputs(utf8.c_str(), stderr);
  std::fflush(stderr);
}

// The game's files in `prefix`, with the prefix's registry value.
GameLocation InPrefix(std::unique_ptr<Registry> registry, const std::string& prefix, bool preview) {
  return {std::move(registry), MakeWineFileSystem(prefix, true, preview), std::nullopt,
          [prefix](const std::string& windowsPath) {
            return MapWindowsPath(prefix, windowsPath, true).value_or(Cp1252ToUtf8(windowsPath));
          }};
}

}  // namespace

GameLocation FindGameLocation(bool silent, bool preview,
                              const std::vector<std::string>& arguments) {
  if (const char* chosen = std::getenv("WINEPREFIX"); chosen != nullptr && *chosen != '\0') {
    return InPrefix(MakeWineRegistry(chosen), chosen, preview);
  }
  std::vector<FoundPrefix> found = FindGamePrefixes(PrefixSearchFromEnvironment());
  if (found.empty()) {
    // The lookup then tells the user the game is not installed, as always.
    return InPrefix(std::make_unique<FoundRegistry>(std::nullopt), WinePrefixPath(), preview);
  }
  if (found.size() == 1) {
    FoundPrefix& prefix = found.front();
    if (!silent) {
      Print(TerminalText("Prefixo Wine / Wine prefix: ") + prefix.path + " (" + prefix.launcher +
            ")\n");
    }
    return InPrefix(std::make_unique<FoundRegistry>(std::move(prefix.installDir)), prefix.path,
                    preview);
  }
  if (!silent) {
    std::string command = " script-corvaldo";
    for (const std::string& argument : arguments) {
      command += ' ';
      command += ShellWord(argument);
    }
    // Each line runs as it stands: what follows the # is a comment to the shell.
    std::string text = TerminalText(
        "O TCM 2005 est\xE1 em v\xE1rios prefixos Wine e nenhum foi alterado. Escolha um:\n"
        "TCM 2005 is in several Wine prefixes and none was changed. Choose one:\n");
    for (const FoundPrefix& prefix : found) {
      text += "  WINEPREFIX=";
      text += ShellWord(prefix.path);
      text += command;
      text += "  # ";
      text += prefix.launcher;
      text += ": ";
      text += InstallDirForTerminal(prefix.installDir);
      text += '\n';
    }
    Print(text);
  }
  return {nullptr, nullptr, kExitSeveralPrefixes, {}};
}

}  // namespace corvaldo
