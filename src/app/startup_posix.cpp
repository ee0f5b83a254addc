#include <cstdio>

#include "app/apply_patches.h"
#include "app/startup.h"
#include "corvaldo_version.h"
#include "text/terminal_text.h"

namespace corvaldo {
namespace {

// CP1252, like every text of the program; the terminal layer makes it UTF-8.
constexpr const char* kUsage =
    "Uso / Usage: script-corvaldo [-n] [/tp | /td] [/r] [/b] [/s]\n"
    "             script-corvaldo [-n] /u | --restore [/s]\n"
    "             script-corvaldo --help | /? | --version\n"
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
    "es com /, em mai\xFAsculas ou min\xFAsculas; outros argumentos s\xE3o ignorados.\n"
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
    "  /u         rep\xF5"
    "e os ficheiros originais a partir das c\xF3pias, se o que a\n"
    "             altera\xE7\xE3o fez ainda l\xE1 est\xE1; apaga as c\xF3pias; ganha \xE0s outras "
    "/\n"
    "             puts the original files back from the backups where the patch's\n"
    "             result is still there; removes the backups; wins over the rest\n"
    "  /?, /h, /help  esta ajuda, como -h / this help, as -h\n"
    "\n"
    "Op\xE7\xF5"
    "es com - / Options with -\n"
    "  -n, --dry-run  simula\xE7\xE3o: faz tudo menos gravar e mostra o que mudaria /\n"
    "                 dry run: does everything but write, and shows what would change\n"
    "  --restore      o mesmo que /u / the same as /u\n"
    "  -h, --help     esta ajuda / this help\n"
    "  --version      a vers\xE3o / the version\n"
    "  --             os argumentos seguintes n\xE3o s\xE3o op\xE7\xF5"
    "es /\n"
    "                 the arguments after it are not options\n"
    "  Um argumento que come\xE7"
    "a por - \xE9 uma op\xE7\xE3o, onde quer que esteja; uma\n"
    "  desconhecida termina o programa sem ler nem alterar nada.\n"
    "  An argument starting with - is an option wherever it stands; an unknown\n"
    "  one ends the program having read and changed nothing.\n"
    "\n"
    "Simula\xE7\xE3o / Dry run (-n)\n"
    "  Procura o prefixo, l\xEA os ficheiros e decide tudo como a s\xE9rio, mas n\xE3o\n"
    "  grava nada. Mostra em stdout, para cada ficheiro que mudaria, um diff\n"
    "  unificado (texto do jogo em UTF-8, caminhos Unix), as c\xF3pias que /b faria\n"
    "  e o que n\xE3o poderia ser gravado. Termina com o c\xF3"
    "digo de uma execu\xE7\xE3o\n"
    "  a s\xE9rio, mas nunca 2.\n"
    "  Finds the prefix, reads the files and decides everything as for real, but\n"
    "  writes nothing. Prints on stdout, for each file that would change, a\n"
    "  unified diff (the game's text as UTF-8, Unix paths), the backups /b would\n"
    "  make and what could not be written. Exits with a real run's code, never 2.\n"
    "  Com /u: o que seria reposto e as c\xF3pias que seriam apagadas.\n"
    "  With /u: what would be put back and the backups that would be removed.\n"
    "\n"
    "Prefixo Wine / Wine prefix\n"
    "  WINEPREFIX=<pasta> (um caminho absoluto) usa s\xF3 esse prefixo. Sem ele, o\n"
    "  jogo \xE9 procurado em ~/.wine e nos prefixos do Lutris, Bottles, PlayOnLinux,\n"
    "  Phoenicis, Heroic, CrossOver e Steam (Proton). Como root, num prefixo de\n"
    "  outro utilizador, age s\xF3 com os direitos desse utilizador.\n"
    "  WINEPREFIX=<folder> (an absolute path) uses that prefix only. Without it,\n"
    "  the game is looked for in ~/.wine and in the prefixes of Lutris, Bottles,\n"
    "  PlayOnLinux, Phoenicis, Heroic, CrossOver and Steam (Proton). Run as root\n"
    "  on another user's prefix, it acts with that user's rights only.\n"
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
    "     com /u: um ficheiro n\xE3o p\xF4"
    "de ser reposto (alterado desde a altera\xE7\xE3o,\n"
    "     sem c\xF3pia, ou n\xE3o gravado); os outros foram repostos\n"
    "     with /u: a file could not be restored (changed since the patch, no\n"
    "     backup, or not written); the others were restored\n"
    "  3  o jogo est\xE1 em v\xE1rios prefixos e nada foi alterado\n"
    "     the game is in several prefixes and nothing was changed\n"
    "  4  outra execu\xE7\xE3o ocupou o jogo mais de 30 s; nada foi alterado\n"
    "     another run held the game over 30 s; nothing was changed\n"
    "  5  o prefixo n\xE3o pode ser usado (WINEPREFIX relativo, system.reg ileg\xEDvel,\n"
    "     direitos do dono n\xE3o obtidos); nada foi alterado\n"
    "     the prefix cannot be used (a relative WINEPREFIX, an unreadable\n"
    "     system.reg, the owner's rights not taken); nothing was changed\n"
    "  64 op\xE7\xE3o desconhecida; nada foi lido nem alterado\n"
    "     unknown option; nothing was read or changed\n";

// Prints `text` on `stream`; a text that did not reach its reader is a
// failure, as for any command.
bool Print(const std::string& text, std::FILE* stream) {
  return std::fputs(text.c_str(), stream) >= 0 && std::fflush(stream) == 0;
}

int Answer(const std::string& text) {
  if (Print(text, stdout)) return kExitOk;
  std::fputs("script-corvaldo: stdout: write error\n", stderr);
  return kExitError;
}

// Whether the argument starts with a dash other than '-' (UTF-8 U+2010 to
// U+2015, or the minus sign U+2212), as a web page or word processor makes
// "--dry-run" into "\u2014dry-run": meant as an option, so never an argument
// to ignore.
bool StartsWithOtherDash(const std::string& argument) {
  if (argument.size() < 4) return false;
  const auto third = static_cast<unsigned char>(argument[2]);
  return (argument.compare(0, 2, "\xE2\x80") == 0 && third >= 0x90 && third <= 0x95) ||
         argument.compare(0, 3, "\xE2\x88\x92") == 0;
}

// "/?", "/h" and "/help", in any case: the help a Windows user asks for.
bool IsHelpSwitch(const std::string& argument) {
  std::string lower = argument;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return lower == "/?" || lower == "/h" || lower == "/help";
}

// The option as typed, on one line: its bytes are the user's own (UTF-8, as a
// rule), only control characters are masked.
std::string Shown(std::string option) {
  for (char& c : option) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return "'" + option + "'";
}

}  // namespace

// The dynamic loader here has no current-folder search to switch off.
void HardenDllSearch() {}

CommandLine ReadCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool options = true;
  for (const std::string& argument : arguments) {
    const bool dashed = argument.size() >= 2 && argument[0] == '-';
    if (!options || (!dashed && !StartsWithOtherDash(argument))) {
      // A switch, so also after "--"; the Windows exe ignores these.
      if (IsHelpSwitch(argument)) {
        line.exitCode = Answer(TerminalText(kUsage));
        return line;
      }
      line.switches.push_back(argument);
      continue;
    }
    if (argument == "--") {
      options = false;
      continue;
    }
    if (argument == "--version") {
      line.exitCode = Answer("script-corvaldo " CORVALDO_VERSION_STRING "\n");
      return line;
    }
    // Short options may be given together, as getopt allows: -nh.
    const bool shortOnes =
        dashed && argument[1] != '-' && argument.find_first_not_of("hn", 1) == std::string::npos;
    if (argument == "--help" || (shortOnes && argument.find('h') != std::string::npos)) {
      line.exitCode = Answer(TerminalText(kUsage));
      return line;
    }
    if (argument == "--dry-run" || shortOnes) {
      line.dryRun = true;
      continue;
    }
    // The long form of "/u", for the switch rules.
    if (argument == "--restore") {
      line.switches.emplace_back("/u");
      continue;
    }
    Print(TerminalText("script-corvaldo: op\xE7\xE3o desconhecida: ") + Shown(argument) +
              TerminalText(". Veja script-corvaldo --help.\n"
                           "script-corvaldo: unknown option: ") +
              Shown(argument) + ". See script-corvaldo --help.\n",
          stderr);
    line.exitCode = kExitUnknownOption;
    return line;
  }
  return line;
}

}  // namespace corvaldo
