#include "text/terminal_quote.h"

#include <gtest/gtest.h>

namespace corvaldo {
namespace {

// Each name as `ls --quoting-style=shell-escape` (GNU coreutils 9.1, UTF-8
// locale) and `diff -u` (GNU diffutils 3.8) print it, but for two escapes
// they leave out: DEL, which diff prints raw, and the bidirectional
// overrides, which ls prints raw and which reverse the text after them.
TEST(TerminalQuote, NamesAsLsAndDiffShowThem) {
  const struct {
    const char* name;
    const char* shell;
    const char* diff;
  } cases[] = {
      {"/home/ana/.wine", "/home/ana/.wine", "/home/ana/.wine"},
      {"a=b,c@d%e+f:g", "'a=b,c@d%e+f:g'", "a=b,c@d%e+f:g"},
      {"TCM 2005", "'TCM 2005'", "\"TCM 2005\""},
      {"Jogos do Z\xC3\xA9", "'Jogos do Z\xC3\xA9'", "\"Jogos do Z\\303\\251\""},
      {"a\xCC\x81", "a\xCC\x81", "\"a\\314\\201\""},
      {"nl\nx", "'nl'$'\\n''x'", "\"nl\\nx\""},
      {"\nx", "''$'\\n''x'", "\"\\nx\""},
      {"x\n", "'x'$'\\n'", "\"x\\n\""},
      {"\n\n", "''$'\\n\\n'", "\"\\n\\n\""},
      {"esc\x1B]0;owned\x07", "'esc'$'\\033'']0;owned'$'\\a'", "\"esc\\033]0;owned\\a\""},
      {"a\x1B"
       "b\x07"
       "c\bd\fe\rf\vg\th",
       "'a'$'\\033''b'$'\\a''c'$'\\b''d'$'\\f''e'$'\\r''f'$'\\v''g'$'\\t''h'",
       "\"a\\033b\\ac\\bd\\fe\\rf\\vg\\th\""},
      {"a\x01"
       "b",
       "'a'$'\\001''b'", "\"a\\001b\""},
      {"del\x7F", "'del'$'\\177'", "\"del\\177\""},  // diff: raw
      {"bad\xFF"
       "byte",
       "'bad'$'\\377''byte'", "\"bad\\377byte\""},
      {"\xC3", "''$'\\303'", "\"\\303\""},
      {"\xC0\xAF", "''$'\\300\\257'", "\"\\300\\257\""},                // overlong '/'
      {"\xED\xA0\x80", "''$'\\355\\240\\200'", "\"\\355\\240\\200\""},  // a surrogate
      {"c1\xC2\x85x", "'c1'$'\\302\\205''x'", "\"c1\\302\\205x\""},
      {"\xE2\x80\xA8sep", "''$'\\342\\200\\250''sep'", "\"\\342\\200\\250sep\""},
      {"a\xE2\x80\xAE"
       "b",
       "'a'$'\\342\\200\\256''b'", "\"a\\342\\200\\256b\""},  // ls: raw
      {"a'b", "\"a'b\"", "a'b"},
      {"'", "\"'\"", "'"},
      {"a'b$c", "'a'\\''b$c'", "a'b$c"},
      {"a\"b'", "'a\"b'\\'''", "\"a\\\"b'\""},
      {"a'b\nc", "'a'\\''b'$'\\n''c'", "\"a'b\\nc\""},
      {"back\\slash", "'back\\slash'", "\"back\\\\slash\""},
      {"#hash", "'#hash'", "#hash"},
      {"hash#x", "hash#x", "hash#x"},
      {"~tilde", "'~tilde'", "~tilde"},
      {"x~y", "x~y", "x~y"},
      {"{", "'{'", "{"},
      {"a{b}", "a{b}", "a{b}"},
      {"a!b", "'a!b'", "a!b"},
      {"a*b?[c]", "'a*b?[c]'", "a*b?[c]"},
      {"$(rm -rf ~)", "'$(rm -rf ~)'", "\"$(rm -rf ~)\""},
      {"`x`;y|z&", "'`x`;y|z&'", "`x`;y|z&"},
      {"a<b>c^d", "'a<b>c^d'", "a<b>c^d"},
      {"", "''", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShellQuoted(c.name), c.shell) << c.name;
    EXPECT_EQ(DiffQuoted(c.name), c.diff) << c.name;
  }
}

}  // namespace
}  // namespace corvaldo
