#include "odbc_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using zorv::lib::odbc::OdbcConnectionString;
using zorv::lib::odbc::StatementSplit;
using Kind = StatementSplit::Kind;

TEST(OdbcText, SplitFindsTheOneStatementOrRefuses) {
  struct Case {
    std::string sql;
    Kind kind;
    std::string first;
  };
  const std::vector<Case> cases = {
      {"SELECT 1", Kind::One, "SELECT 1"},
      {"  SELECT 5 ; ", Kind::One, "  SELECT 5"},
      {"SELECT 6 -- trailing comment", Kind::One, "SELECT 6"},
      {"INSERT INTO t VALUES (9, 'z'); -- a comment", Kind::One, "INSERT INTO t VALUES (9, 'z')"},
      {"SELECT 1;; /* done */ ;", Kind::One, "SELECT 1"},
      {"SELECT 'a;b', \"c;d\", `e;f`, [g;h] FROM t", Kind::One,
       "SELECT 'a;b', \"c;d\", `e;f`, [g;h] FROM t"},
      {"SELECT 'it''s; fine'", Kind::One, "SELECT 'it''s; fine'"},
      {"SELECT E'a\\'; b'", Kind::One, "SELECT E'a\\'; b'"},
      {"SELECT $$; x$$, $tag$ ; $$ ; $tag$", Kind::One, "SELECT $$; x$$, $tag$ ; $$ ; $tag$"},
      {"SELECT a$b; DROP TABLE t", Kind::Several, ""},
      {"SELECT 1 -- x; DROP TABLE t\n", Kind::One, "SELECT 1"},
      {"SELECT 'open; DROP TABLE t", Kind::One, "SELECT 'open; DROP TABLE t"},
      {"SELECT 1; DELETE FROM t", Kind::Several, ""},
      {"SELECT 1 \\; DROP TABLE t", Kind::Several, ""},
      {"SELECT $$; DROP TABLE t; $$; DROP TABLE t", Kind::Several, ""},
      {"INSERT INTO t VALUES (9, 'z');;DROP TABLE t", Kind::Several, ""},
      {"SELECT 1 /* a /* b */ ; DROP TABLE t */", Kind::Several, ""},
      {"SELECT 'a' 'b'; 'c'", Kind::Several, ""},
      {"", Kind::Empty, ""},
      {" ; ", Kind::Empty, ""},
      {"-- only a comment", Kind::Empty, ""},
      {"/* x */ ; SELECT 1", Kind::Empty, ""},
  };
  for (const auto& c : cases) {
    const StatementSplit split = zorv::lib::odbc::splitFirstStatement(c.sql);
    EXPECT_EQ(split.kind, c.kind) << c.sql;
    EXPECT_EQ(std::string(split.first), c.first) << c.sql;
  }
}

TEST(OdbcText, ConnectionStringAddsOnlyWhatIsMissing) {
  struct Case {
    std::string given;
    std::string added;  // after adding UseDeclareFetch=1 and Opt={a;b}
  };
  const std::vector<Case> cases = {
      {"DSN=x", "DSN=x;UseDeclareFetch=1;Opt={a;b}"},
      {"DSN=x; ", "DSN=x;UseDeclareFetch=1;Opt={a;b}"},
      {"DSN=x;usedeclarefetch=0", "DSN=x;usedeclarefetch=0;Opt={a;b}"},
      {" UseDeclareFetch = 0 ;opt={}}};DSN=x;", " UseDeclareFetch = 0 ;opt={}}};DSN=x;"},
      {"Driver={a;UseDeclareFetch=0}", "Driver={a;UseDeclareFetch=0};UseDeclareFetch=1;Opt={a;b}"},
      {"", "UseDeclareFetch=1;Opt={a;b}"},
  };
  for (const auto& c : cases) {
    OdbcConnectionString text(c.given);
    text.addIfAbsent("UseDeclareFetch", "1");
    text.addIfAbsent("Opt", "a;b");
    EXPECT_EQ(text.text(), c.added) << c.given;
  }
  const OdbcConnectionString secret("UID=u;PWD={p;}}w};pwd=second;Password=third");
  EXPECT_EQ(secret.values("PWD"), (std::vector<std::string>{"p;}w", "second"}));
  EXPECT_EQ(secret.values("password"), (std::vector<std::string>{"third"}));
}

TEST(OdbcText, Utf16AndUtf8ConvertBothWays) {
  struct Case {
    std::u16string utf16;
    std::string utf8;
  };
  const std::vector<Case> cases = {
      {u"a\u00E9\u30BD\u8868", "a\xC3\xA9\xE3\x82\xBD\xE8\xA1\xA8"},
      {u"\U0001F600x", "\xF0\x9F\x98\x80x"},
      {std::u16string(1, u'\0'), std::string(1, '\0')},
  };
  for (const auto& c : cases) {
    std::string out;
    zorv::lib::odbc::appendUtf8(c.utf16, out);
    EXPECT_EQ(out, c.utf8);
    EXPECT_EQ(zorv::lib::odbc::toUtf16(c.utf8), c.utf16);
  }
  // Halves of a pair alone, as a piece may end: each becomes U+FFFD.
  const std::u16string pair = u"\U0001F600";
  std::string halves;
  zorv::lib::odbc::appendUtf8(pair.substr(0, 1), halves);
  zorv::lib::odbc::appendUtf8(pair.substr(1), halves);
  EXPECT_EQ(halves, "\xEF\xBF\xBD\xEF\xBF\xBD");
  // Malformed UTF-8: a lone trail byte, an overlong form, a cut sequence.
  EXPECT_EQ(zorv::lib::odbc::toUtf16("\x80" "a\xC0\xAF" "b\xE3\x82"),
            u"\uFFFDa\uFFFD\uFFFDb\uFFFD\uFFFD");
}

// Narrow text is taken as is only when well-formed; anything else is read
// again wide, so each byte that a lax check would pass is a wrong answer.
TEST(OdbcText, WellFormedUtf8) {
  struct Case {
    std::string bytes;
    bool wellFormed;
  };
  const Case cases[] = {
      {"", true},
      {"item 12", true},
      {"\xE3\x82\xBD\xE8\xA1\xA8", true},            // ソ表
      {"\xC2\x80\xDF\xBF", true},                    // U+0080, U+07FF
      {"\xEF\xBF\xBF\xF0\x90\x80\x80", true},        // U+FFFF, U+10000
      {"\xF4\x8F\xBF\xBF", true},                    // U+10FFFF
      {"\xED\x9F\xBF", true},                        // U+D7FF
      {std::string("a\0b", 3), true},
      {"A\xFF" "B", false},
      {"\x80", false},                               // a lone trail byte
      {"\xC0\xAF", false},                           // overlong
      {"\xC1\xBF", false},
      {"\xE0\x9F\xBF", false},                       // overlong three-byte
      {"\xF0\x8F\xBF\xBF", false},                   // overlong four-byte
      {"\xED\xA0\x80", false},                       // a surrogate
      {"\xF4\x90\x80\x80", false},                   // above U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\xE3\x82", false},                           // cut at the end
      {"\xE3" "a\xBD", false},                       // cut by ASCII
      {"\xF0\x9F\x98", false},
      // Bad bytes after, inside and at the end of ASCII runs.
      {"abcdefgh\xE3\x82\xBD" "abcdefgh", true},
      {"abcdefgh\xFF", false},
      {"abcdefg\x80" "abcdefgh", false},
      {"abcdefghabcdefg\xC3", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zorv::lib::odbc::isWellFormedUtf8(c.bytes), c.wellFormed) << testing::PrintToString(c.bytes);
  }
}

}  // namespace
