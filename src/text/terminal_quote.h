// File names as a terminal shows them. A name is the user's bytes (UTF-8 as
// a rule, but any bytes but '/' and NUL): printed raw, an escape sequence in
// it would act on the terminal and a newline would split the line it is on.
#pragma once

#include <string>
#include <string_view>

namespace corvaldo {

// As `ls --quoting-style=shell-escape` shows it, which a POSIX shell reads
// back as the same bytes: plain when it holds nothing a shell treats
// specially, else in single quotes ("'it'\''s'", or "\"it's\"" when nothing
// else needs quoting), with control characters, invalid UTF-8 and characters
// that reorder or break lines as $'...' escapes ('a'$'\n''b', $'\033').
std::string ShellQuoted(std::string_view name);

// As GNU diff names a file in the "---"/"+++" lines of a unified diff, which
// GNU patch reads back: plain, or in double quotes with C escapes ("a\nb",
// "\033", "\\", "\"") and every other byte below 32 or above 126 in octal,
// when the name holds any of those or a space.
std::string DiffQuoted(std::string_view name);

}  // namespace corvaldo
