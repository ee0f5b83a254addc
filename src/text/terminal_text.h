// Turning the program's CP1252 texts into lines for a UTF-8 terminal.
#pragma once

#include <string>
#include <string_view>

namespace corvaldo {

// CR LF, LF CR, LF and CR each become one "\n"; bytes become UTF-8.
std::string TerminalText(std::string_view text);

}  // namespace corvaldo
