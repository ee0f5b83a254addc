#include <cstdio>

#include "app/apply_patches.h"
#include "app/startup.h"
#include "corvaldo_version.h"
#include "ui/terminal_text.h"

namespace corvaldo {
namespace {

// CP1252, like every text of the program; the terminal layer makes it UTF-8.
constexpr const char* kUsage =
    "Uso / Usage: script-corvaldo [/tp | /td] [/r] [/b] [/s]\n"
    "             script-corvaldo --help | --version\n"
    "\n"
    "D\xE1 a Portugal uma ta\xE7"
    "a nacional no TOTAL CLUB MANAGER 2005 instalado num\n"
    "prefixo Wine: altera tr\xEAs ficheiros de texto do jogo e termina; correr outra\n"
    "vez n\xE3o altera nada.\n"
    "Gives Portugal a national cup in TOTAL CLUB MANAGER 2005 installed in a Wine\n"
    "prefix: edits three of the game's text files and exits; running it again\n"
    "changes nothing.\n"
    "\n"
    "Op\xE7\xF5"
    "es, em mai\xFAsculas ou min\xFAsculas; outros argumentos s\xE3o ignorados.\n"
    "Switches, in either case; other arguments are ignored.\n"
    "  (nenhuma)  acrescenta a ta\xE7"
    "a a script\\cupAlloc.txt e aponta Portugal para ela\n"
    "  (none)     appends the cup to script\\cupAlloc.txt and points Portugal at it\n"
    "  /tp        o mesmo, com prioridade sobre /td / the same, and wins over /td\n"
    "  /td        aponta Portugal para a ta\xE7"
    "a 1 com seis n\xFAmeros fixos, sem mexer\n"
    "             em cupAlloc.txt / points Portugal at cup 1 with six fixed numbers,\n"
    "             leaving cupAlloc.txt alone\n"
    "  /r         muda dois valores em database\\Rules.sav (sozinha, s\xF3 isso) /\n"
    "             sets two values in database\\Rules.sav (alone, only that)\n"
    "  /b         guarda uma c\xF3pia de cada ficheiro antes da primeira altera\xE7\xE3o /\n"
    "             keeps a copy of each file before it is first changed\n"
    "  /s         silencioso, nenhuma mensagem / silent, no messages\n"
    "\n"
    "Prefixo Wine / Wine prefix\n"
    "  WINEPREFIX=<pasta> usa s\xF3 esse prefixo. Sem ele, o jogo \xE9 procurado em\n"
    "  ~/.wine e nos prefixos do Lutris, Bottles, PlayOnLinux, Phoenicis, Heroic,\n"
    "  CrossOver e Steam (Proton).\n"
    "  WINEPREFIX=<folder> uses that prefix only. Without it, the game is looked\n"
    "  for in ~/.wine and in the prefixes of Lutris, Bottles, PlayOnLinux,\n"
    "  Phoenicis, Heroic, CrossOver and Steam (Proton).\n"
    "\n"
    "C\xF3pias / Backups (/b), ao lado de cada ficheiro / beside each file, nunca\n"
    "substitu\xED"
    "das / never replaced:\n"
    "  script\\cupAlloc.backup-original.txt\n"
    "  database\\Country38.backup-original.sav\n"
    "  database\\Rules.backup-original.sav\n"
    "\n"
    "C\xF3"
    "digos de sa\xED"
    "da / Exit codes\n"
    "  0  feito, nada a fazer, ou o jogo n\xE3o est\xE1 instalado\n"
    "     done, nothing to do, or the game is not installed\n"
    "  1  erro (\"Application Error\") / error\n"
    "  2  um ficheiro n\xE3o p\xF4"
    "de ser gravado / a file could not be written\n"
    "  3  o jogo est\xE1 em v\xE1rios prefixos e nada foi alterado\n"
    "     the game is in several prefixes and nothing was changed\n";

}  // namespace

// The dynamic loader here has no current-folder search to switch off.
void HardenDllSearch() {}

std::optional<int> AnswerInformationRequest(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return std::nullopt;
  const std::string& first = arguments.front();
  std::string text;
  if (first == "--help" || first == "-h") {
    text = TerminalText(kUsage);
  } else if (first == "--version") {
    text = "script-corvaldo " CORVALDO_VERSION_STRING "\n";
  } else {
    return std::nullopt;
  }
  // A text that did not reach its reader is a failure, as for any command.
  if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
    std::fputs("script-corvaldo: stdout: write error\n", stderr);
    return kExitError;
  }
  return kExitOk;
}

}  // namespace corvaldo
