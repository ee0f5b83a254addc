#include "app/run_report.h"

#include <cerrno>
#include <cstring>

#include "text/cp1252.h"
#include "text/terminal_quote.h"
#include "text/terminal_text.h"

namespace corvaldo {
namespace {

std::string Shown(const HostPath& hostPath, const std::string& windowsPath) {
  return ShellQuoted(hostPath ? hostPath(windowsPath) : Cp1252ToUtf8(windowsPath));
}

// One of the program's texts (CP1252) before a path, and the path.
std::string Line(const char* label, const std::string& path, const std::string& after = {}) {
  return TerminalText(label) + path + after + "\n";
}

std::string WithReason(const FileReport& file) {
  return file.reason.empty() ? std::string() : ": " + file.reason;
}

}  // namespace

std::string NotWrittenReport(const std::vector<FileReport>& files, const HostPath& hostPath,
                             const std::function<bool(const std::string& path)>& onNtfs) {
  std::string text;
  bool ntfs = false;
  const std::string readOnly = std::strerror(EROFS);
  for (const FileReport& file : files) {
    if (file.outcome != FileOutcome::NotWritten) continue;
    const std::string path = hostPath ? hostPath(file.Path()) : Cp1252ToUtf8(file.Path());
    text += "  " + ShellQuoted(path) + WithReason(file) + "\n";
    ntfs = ntfs || (file.reason == readOnly && onNtfs && onNtfs(path));
  }
  if (text.empty()) return text;
  text = TerminalText("N\xE3o foi poss\xEDvel gravar:\nCould not write:\n") + text;
  if (ntfs) {
    text += TerminalText(
        "O disco NTFS est\xE1 montado s\xF3 para leitura: o Windows pode estar hibernado ou\n"
        "com o Arranque r\xE1pido ligado. Encerre-o por completo e volte a montar o disco.\n"
        "The NTFS disk is mounted read-only: Windows may be hibernated or have Fast\n"
        "Startup on. Shut Windows down fully and mount the disk again.\n");
  }
  return text;
}

std::string NotRestoredReport(const std::vector<FileReport>& files, const HostPath& hostPath) {
  std::string text;
  for (const FileReport& file : files) {
    if (file.reason.empty()) continue;
    text += "  " + Shown(hostPath, file.Path()) + TerminalText(" (" + file.reason + ")") + "\n";
  }
  if (text.empty()) return text;
  return TerminalText("N\xE3o foi poss\xEDvel repor:\nCould not restore:\n") + text;
}

std::string ClosingReport(const std::vector<FileReport>& files, const HostPath& hostPath,
                          bool restore) {
  std::string text;
  for (const FileReport& file : files) {
    const std::string path = Shown(hostPath, file.Path());
    switch (file.outcome) {
      case FileOutcome::Changed:
        text += Line("Alterado / Changed: ", path);
        break;
      case FileOutcome::InOrder:
        if (restore) {
          text += Line("J\xE1 era o original / Already the original: ", path);
          break;
        }
        text += Line("J\xE1 estava em ordem / Already in order: ", path);
        break;
      case FileOutcome::NotWritten:
        text += Line("N\xE3o gravado / Not written: ", path, WithReason(file));
        break;
      case FileOutcome::Restored:
        text += Line("Reposto / Restored: ", path);
        break;
      case FileOutcome::Kept:
        text += Line("Deixado como estava / Left as it was: ", path,
                     TerminalText(" (" + file.reason + ")"));
        break;
      case FileOutcome::Skipped:
        text += Line(
            "N\xE3o visto (o script n\xE3o tem a ta\xE7"
            "a) / Not looked at (the cup script lacks the cup): ",
            path);
        break;
    }
    if (file.backupMade) {
      text += Line("C\xF3pia feita / Backup made: ", Shown(hostPath, file.BackupPath()));
    }
    if (file.backupRemoved) {
      text += Line("C\xF3pia apagada / Backup removed: ", Shown(hostPath, file.BackupPath()));
    }
  }
  return text;
}

std::string ErrorPlace(const EError& error, const HostPath& hostPath) {
  if (error.GameFilePath().empty()) return {};
  std::string text = Line("No ficheiro / In file: ", Shown(hostPath, error.GameFilePath()));
  if (error.GameFileLine() > 0) {
    text.pop_back();
    const std::string line = std::to_string(error.GameFileLine());
    text += TerminalText(", linha " + line + " / line " + line + "\n");
  }
  return text;
}

}  // namespace corvaldo
