#include "text/terminal_quote.h"

#include <optional>

#include "text/cp1252.h"

namespace corvaldo {
namespace {

// The letter of a C escape for `c`, or 0 when it has none.
char CEscapeLetter(unsigned char c) {
  switch (c) {
    case '\a':
      return 'a';
    case '\b':
      return 'b';
    case '\t':
      return 't';
    case '\n':
      return 'n';
    case '\v':
      return 'v';
    case '\f':
      return 'f';
    case '\r':
      return 'r';
    default:
      return 0;
  }
}

void AppendEscaped(std::string& out, unsigned char c) {
  out += '\\';
  if (const char letter = CEscapeLetter(c)) {
    out += letter;
    return;
  }
  out += static_cast<char>('0' + (c >> 6));
  out += static_cast<char>('0' + ((c >> 3) & 7));
  out += static_cast<char>('0' + (c & 7));
}

// Characters a terminal does not show as themselves: C0 and C1 controls, DEL,
// the line and paragraph separators, the marks and overrides that reorder
// the text around them, and the two non-characters of the BMP's end.
bool Printable(char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
  if (c == 0x200E || c == 0x200F || c == 0x2028 || c == 0x2029) return false;
  if ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) return false;
  return c != 0xFFFE && c != 0xFFFF;
}

// Splits `name` into runs shown as they are and runs to escape.
template <typename Emit>
void ForEachRun(std::string_view name, Emit emit) {
  std::size_t pos = 0;
  while (pos < name.size()) {
    const std::size_t start = pos;
    const std::optional<char32_t> c = NextUtf8CodePoint(name, pos);
    emit(name.substr(start, pos - start), c && Printable(*c));
  }
}

// Whether the shell reads the ASCII character `c`, at `index` of a name of
// `size` bytes, as itself outside quotes.
bool ShellSafe(char c, std::size_t index, std::size_t size) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '%':
    case '+':
    case ',':
    case '-':
    case '.':
    case '/':
    case ':':
    case '@':
    case ']':
    case '_':
      return true;
    case '#':
    case '~':  // a comment, a home folder: only at the start
      return index != 0;
    case '{':
    case '}':  // a group only when alone
      return size != 1;
    default:
      return false;
  }
}

// Whether `c` needs no escape inside double quotes either, so that a name
// whose only trouble is a single quote can go in those ("it's").
bool DoubleQuoteSafe(char c, std::size_t index, std::size_t size) {
  if (c == ' ' || c == '\'') return true;
  if (c == '#' || c == '~') return index == 0;
  if (c == '{' || c == '}') return size == 1;
  return ShellSafe(c, index, size) || static_cast<unsigned char>(c) >= 0x80;
}

}  // namespace

std::string ShellQuoted(std::string_view name) {
  bool quote = name.empty();
  bool escapes = false;
  bool singleQuote = false;
  bool doubleQuoteSafe = true;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (static_cast<unsigned char>(c) < 0x80 && !ShellSafe(c, i, name.size())) quote = true;
    if (c == '\'') singleQuote = true;
    if (!DoubleQuoteSafe(c, i, name.size())) doubleQuoteSafe = false;
  }
  ForEachRun(name, [&](std::string_view, bool shown) { escapes = escapes || !shown; });
  if (!quote && !escapes) return std::string(name);
  if (!escapes && singleQuote && doubleQuoteSafe) {
    std::string out(1, '"');
    out.append(name);
    out += '"';
    return out;
  }

  std::string out = "'";
  bool open = true;  // inside a '...' part
  ForEachRun(name, [&](std::string_view run, bool shown) {
    if (shown) {
      if (!open) out += '\'';
      open = true;
      for (const char c : run) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
      return;
    }
    // Escapes next to each other share one $'...'.
    if (open) {
      out += "'$'";
    } else {
      out.pop_back();
    }
    for (const char c : run) AppendEscaped(out, static_cast<unsigned char>(c));
    out += '\'';
    open = false;
  });
  if (open) out += '\'';
  return out;
}

std::string DiffQuoted(std::string_view name) {
  bool quote = false;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F || c == '"' || c == '\\') quote = true;
  }
  if (!quote) return std::string(name);
  std::string out = "\"";
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u >= 0x7F) {
      AppendEscaped(out, u);
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

}  // namespace corvaldo
