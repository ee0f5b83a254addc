#include "gamefiles/errors.h"

#include <cstdio>

namespace corvaldo {

EError::EError(std::string kind, std::string message, const void* address)
    : kind_(std::move(kind)), message_(std::move(message)), address_(address) {}

EStringListError::EStringListError(int index)
    : EError("EStringListError", "List index out of bounds (" + std::to_string(index) + ")",
             __builtin_return_address(0)) {}

EConvertError::EConvertError(const std::string& text)
    : EError("EConvertError", "'" + text + "' is not a valid integer value",
             __builtin_return_address(0)) {}

ERegistryException::ERegistryException(Reason reason, const std::string& valueName)
    : EError("ERegistryException",
             (reason == Reason::InvalidDataType ? "Invalid data type for '"
                                                : "Failed to get data for '") +
                 valueName + "'",
             __builtin_return_address(0)) {}

std::string FormatFailureReport(const std::string& kindName, const std::string& moduleName,
                                std::uint32_t relativeAddress, const std::string& message) {
  char address[9];
  std::snprintf(address, sizeof address, "%08X", static_cast<unsigned>(relativeAddress));
  const bool needsStop = !message.empty() && message.back() != '.';
  std::string text = "Exception " + kindName + " in module " + moduleName + " at " + address +
                     ".\r\n" + message + (needsStop ? "." : "") + "\r\n";
  // The report buffer holds 1,023 characters.
  if (text.size() > 1023) text.resize(1023);
  return text;
}

}  // namespace corvaldo
