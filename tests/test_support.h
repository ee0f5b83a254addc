// Fakes shared by the unit tests: a registry holding one value, a UI that
// records what it was asked to show, and an installation in memory.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/apply_patches.h"
#include "gamefiles/registry.h"
#include "support/memory_file_system.h"
#include "ui/user_interface.h"

namespace corvaldo::fakes {

class FakeRegistry : public Registry {
 public:
  FakeRegistry() = default;
  explicit FakeRegistry(std::optional<RegistryValue> value) : value_(std::move(value)) {}
  static FakeRegistry String(const std::string& text) {
    return FakeRegistry(RegistryValue{kRegSz, text + std::string(1, '\0')});
  }
  std::optional<RegistryValue> QueryInstallDir() override { return value_; }

 private:
  std::optional<RegistryValue> value_;
};

class FakeUi : public UserInterface {
 public:
  void ShowStatusWindow(const std::string& text) override { statusTexts.push_back(text); }
  int ShowMessageDialog(const std::string& text, MessageKind kind) override {
    dialogs.emplace_back(text, kind);
    return 1;
  }
  void ShowFailureReport(const std::string& text) override { failureReports.push_back(text); }

  std::vector<std::string> statusTexts;
  std::vector<std::pair<std::string, MessageKind>> dialogs;
  std::vector<std::string> failureReports;
};

inline constexpr const char* kDir = "C:\\Games\\TCM";
inline const std::string kScript = std::string(kDir) + "\\script\\cupAlloc.txt";
inline const std::string kScriptBackup =
    std::string(kDir) + "\\script\\cupAlloc.backup-original.txt";
inline const std::string kCountry = std::string(kDir) + "\\database\\Country38.sav";
inline const std::string kCountryBackup =
    std::string(kDir) + "\\database\\Country38.backup-original.sav";
inline const std::string kRules = std::string(kDir) + "\\database\\Rules.sav";
inline const std::string kRulesBackup = std::string(kDir) + "\\database\\Rules.backup-original.sav";

// Joins lines with CR LF after each, as the game writes its files.
inline std::string CrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// Runs the whole procedure over `fs` with the given switches.
inline int RunPatcher(MemoryFileSystem& fs, std::vector<std::string> switches,
                      FakeUi* ui = nullptr) {
  FakeUi localUi;
  FakeRegistry registry = FakeRegistry::String(std::string(kDir) + "\\");
  return ApplyPatches(ParseCommandLine(switches), fs, registry, ui ? *ui : localUi);
}

}  // namespace corvaldo::fakes
