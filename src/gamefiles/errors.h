// The three error kinds that end a run, and the text of the failure report.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace corvaldo {

class EError : public std::exception {
 public:
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& KindName() const { return kind_; }
  const std::string& Message() const { return message_; }
  // The code address the error was raised from.
  const void* RaiseAddress() const { return address_; }
  // The game file that was being read (its Windows path; empty when none)
  // and the line the error is about (counting from 1; 0 when not known), as
  // the patch that read it records them on the way out.
  const std::string& GameFilePath() const { return gameFile_; }
  std::int32_t GameFileLine() const { return gameFileLine_; }
  void SetGameFile(std::string path, std::int32_t line) {
    gameFile_ = std::move(path);
    gameFileLine_ = line;
  }

 protected:
  EError(std::string kind, std::string message, const void* address);

 private:
  std::string kind_;
  std::string message_;
  const void* address_;
  std::string gameFile_;
  std::int32_t gameFileLine_ = 0;
};

// Constructors are kept out of line so that the address they record is the
// raising code's own.
class EStringListError : public EError {
 public:
  [[gnu::noinline]] explicit EStringListError(int index);
};

class EConvertError : public EError {
 public:
  [[gnu::noinline]] explicit EConvertError(const std::string& text);
};

class ERegistryException : public EError {
 public:
  enum class Reason { InvalidDataType, FailedToGetData };
  [[gnu::noinline]] ERegistryException(Reason reason, const std::string& valueName);
};

// "Exception %s in module %s at %p." CR LF "%s%s" CR LF, cut to 1,023 characters.
// `relativeAddress` is the raise address less the module's load address.
std::string FormatFailureReport(const std::string& kindName, const std::string& moduleName,
                                std::uint32_t relativeAddress, const std::string& message);

// The executable's file name (no folder) and the address relative to where it
// is loaded; implemented per platform.
std::string ExecutableFileName();
std::uint32_t ModuleRelativeAddress(const void* address);

// Defined here, not in the core library, because it needs the platform's half.
inline std::string FailureReportFor(const EError& error) {
  return FormatFailureReport(error.KindName(), ExecutableFileName(),
                             ModuleRelativeAddress(error.RaiseAddress()), error.Message());
}

}  // namespace corvaldo
