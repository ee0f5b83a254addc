// On Linux the game lives in a Wine prefix: the one the user names in
// WINEPREFIX, else the one the search of the launchers' places finds.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "app/game_location.h"
#include "text/cp1252.h"
#include "text/terminal_quote.h"
#include "text/terminal_text.h"
#include "wine/prefix_owner.h"
#include "wine/system_reg.h"
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

// Where a Windows path lies in `prefix`, for the user: the path as Wine would
// find it, and where a folder on its way is missing or cannot be looked
// into, the place found so far with the rest of the path after it.
std::string HostPath(const std::string& prefix, const std::string& windowsPath) {
  if (std::optional<std::string> mapped = MapWindowsPath(prefix, windowsPath, true)) {
    return *mapped;
  }
  std::string rest;
  for (std::string head = windowsPath;;) {
    const std::size_t cut = head.find_last_of('\\');
    if (cut == std::string::npos) break;
    rest = Cp1252ToUtf8(head.substr(cut + 1)) + (rest.empty() ? "" : "/") + rest;
    head.resize(cut);
    if (head.size() == 2 && head[1] == ':') head += '\\';  // a drive's root
    if (std::optional<std::string> mapped = MapWindowsPath(prefix, head, false)) {
      return *mapped + "/" + rest;
    }
    if (head.size() == 3 && head[1] == ':') break;
  }
  return Cp1252ToUtf8(windowsPath);
}

// The game's files in `prefix`, with the prefix's registry value.
GameLocation InPrefix(std::optional<RegistryValue> value, const std::string& prefix, bool preview) {
  return {std::make_unique<FoundRegistry>(std::move(value)),
          MakeWineFileSystem(prefix, true, preview),
          std::nullopt,
          [prefix](const std::string& windowsPath) { return HostPath(prefix, windowsPath); },
          {}};
}

GameLocation Stop(int code) { return {nullptr, nullptr, code, {}, {}}; }

// Both lines of a message about the prefix, each after the program's name.
std::string Message(const std::string& portuguese, const std::string& english) {
  return TerminalText("script-corvaldo: " + portuguese + "\nscript-corvaldo: " + english + "\n");
}

// Why the prefix in WINEPREFIX holds no game, for the closing report.
std::string WhyNotThere(const std::string& prefix, const PrefixRegistry& registry) {
  std::string why;
  struct stat st;
  if (stat(prefix.c_str(), &st) != 0) {
    why = errno == ENOENT || errno == ENOTDIR ? "n\xE3o existe / does not exist"
                                              : std::strerror(errno);
  } else if (!S_ISDIR(st.st_mode)) {
    why = "n\xE3o \xE9 uma pasta / is not a folder";
  } else if (registry.status == PrefixRegistry::Status::Missing) {
    why =
        "n\xE3o tem system.reg, n\xE3o \xE9 um prefixo Wine / has no system.reg, is no Wine prefix";
  } else if (registry.status == PrefixRegistry::Status::NotRegistry) {
    why =
        "o system.reg n\xE3o \xE9 um ficheiro normal ou \xE9 grande demais / "
        "system.reg is not a regular file, or too big";
  } else if (!registry.value) {
    why = "o system.reg n\xE3o tem o TCM 2005 / system.reg does not hold TCM 2005";
  } else {
    why = "o Install Dir do TCM 2005 est\xE1 vazio / TCM 2005's Install Dir is empty";
  }
  return TerminalText("Prefixo Wine / Wine prefix (WINEPREFIX): ") + ShellQuoted(prefix) + "\n  " +
         TerminalText(why) + "\n";
}

// Where the search looked, for the closing report of a run that found no game.
std::string SearchedReport(const PrefixSearch& where) {
  const std::vector<SearchedPlace> places = SearchedPlaces(where);
  if (places.empty()) {
    return TerminalText(
        "Nenhum s\xEDtio procurado: HOME n\xE3o indica uma pasta. / "
        "Nowhere searched: HOME names no folder.\n");
  }
  std::string text = TerminalText("Procurado em / Looked in:\n");
  for (const SearchedPlace& place : places) {
    text += "  " + ShellQuoted(place.folder) + place.pattern + " (" + place.launcher + ")\n";
  }
  return text + TerminalText(
                    "Com WINEPREFIX=<pasta> usa-se esse prefixo. / "
                    "WINEPREFIX=<folder> uses that prefix.\n");
}

// Takes the rights of the owner of `prefix` where this is a root run on
// someone else's; false, having told the user, when that failed.
bool ActAsOwnerOf(const std::string& prefix) {
  const OwnerRights rights = TakePrefixOwnerRights(prefix);
  if (!rights.failedCall) return true;
  const std::string detail = " (uid " + std::to_string(rights.owner) + ", " + rights.failedCall +
                             "): " + std::strerror(rights.error);
  Print(Message("n\xE3o foi poss\xEDvel agir como o dono do prefixo" + detail,
                "could not act as the prefix's owner" + detail) +
        "  " + ShellQuoted(prefix) + "\n");
  return false;
}

// The prefix the user named: never read when relative, as Wine refuses it.
GameLocation InChosenPrefix(const std::string& prefix, bool preview) {
  if (prefix[0] != '/') {
    const std::string shown = ShellQuoted(prefix);
    std::string text =
        TerminalText(
            "script-corvaldo: WINEPREFIX tem de ser um caminho absoluto, como no "
            "Wine: ") +
        shown + "\nscript-corvaldo: WINEPREFIX must be an absolute path, as for Wine: " + shown +
        "\n";
    if (prefix[0] == '~') {
      text += TerminalText(
          "  (o ~ s\xF3 \xE9 expandido fora de aspas: use $HOME / "
          "~ is expanded only outside quotes: use $HOME)\n");
    }
    Print(text);
    return Stop(kExitPrefixUnusable);
  }
  if (!ActAsOwnerOf(prefix)) return Stop(kExitPrefixUnusable);
  PrefixRegistry registry = ReadPrefixRegistry(prefix, kGameKeyPath, kInstallDirValueName);
  if (registry.status == PrefixRegistry::Status::Unreadable) {
    // Not "not installed": that would be taken for a run that did its work.
    const std::string reg =
        ShellQuoted(prefix + "/system.reg") + ": " + std::strerror(registry.error);
    Print(TerminalText("script-corvaldo: n\xE3o foi poss\xEDvel ler ") + reg +
          "\nscript-corvaldo: could not read " + reg + "\n");
    return Stop(kExitPrefixUnusable);
  }
  const bool holds = registry.value && HoldsGame(*registry.value);
  std::string why = holds ? std::string() : WhyNotThere(prefix, registry);
  GameLocation game = InPrefix(std::move(registry.value), prefix, preview);
  game.searchReport = std::move(why);
  return game;
}

}  // namespace

GameLocation FindGameLocation(bool silent, bool preview, const std::vector<std::string>& arguments,
                              const std::string& program) {
  if (const char* chosen = std::getenv("WINEPREFIX"); chosen != nullptr && *chosen != '\0') {
    return InChosenPrefix(chosen, preview);
  }
  const PrefixSearch where = PrefixSearchFromEnvironment();
  std::vector<FoundPrefix> found = FindGamePrefixes(where);
  if (found.empty()) {
    // The lookup then tells the user the game is not installed, as always.
    GameLocation game = InPrefix(std::nullopt, WinePrefixPath(), preview);
    game.searchReport = SearchedReport(where);
    return game;
  }
  if (found.size() == 1) {
    FoundPrefix& prefix = found.front();
    if (!ActAsOwnerOf(prefix.path)) return Stop(kExitPrefixUnusable);
    if (!silent) {
      Print(TerminalText("Prefixo Wine / Wine prefix: ") + ShellQuoted(prefix.path) + " (" +
            prefix.launcher + ")\n");
    }
    return InPrefix(std::move(prefix.installDir), prefix.path, preview);
  }
  if (!silent) {
    // As the user typed it, so that the line runs where they are; a bare
    // name was found on PATH.
    std::string command =
        program.find('/') != std::string::npos ? ShellQuoted(program) : "script-corvaldo";
    for (const std::string& argument : arguments) command += ' ' + ShellQuoted(argument);
    // Each line runs as it stands: what follows the # is a comment to the shell.
    std::string text = TerminalText(
        "O TCM 2005 est\xE1 em v\xE1rios prefixos Wine e nenhum foi alterado. Escolha um:\n"
        "TCM 2005 is in several Wine prefixes and none was changed. Choose one:\n");
    for (const FoundPrefix& prefix : found) {
      text += "  WINEPREFIX=" + ShellQuoted(prefix.path) + ' ' + command + "  # " +
              prefix.launcher + ": " + InstallDirForTerminal(prefix.installDir) + '\n';
    }
    Print(text);
  }
  return Stop(kExitSeveralPrefixes);
}

}  // namespace corvaldo
