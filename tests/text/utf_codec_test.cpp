// The one UTF-8 <-> UTF-16 codec: command-line UTF-8 must reach a bridge
// unchanged, a value split into pieces must not lose a character, and bytes
// that are no character must never pass as one.
#include "utf_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zorv::appendUtf8;
using zorv::utf16FromUtf8;
using zorv::utf8FromUtf16;

TEST(UtfCodec, Utf8ToUtf16AndBack) {
  const struct {
    const char* name;
    std::string utf8;
    std::u16string utf16;
    bool roundTrips;
  } cases[] = {
      {"ascii", "select 1", u"select 1", true},
      {"japanese", "select * from \xE5\x95\x86\xE5\x93\x81", u"select * from \u5546\u54C1", true},
      {"two and three bytes", "a\xC3\xA9\xE3\x82\xBD\xE8\xA1\xA8", u"a\u00E9\u30BD\u8868", true},
      {"four bytes", "\xF0\x9F\x98\x80x", u"\U0001F600x", true},
      {"NUL inside", std::string("a\0b", 3), std::u16string(u"a\0b", 3), true},
      {"lone trail byte", "\x80" "a", u"\uFFFDa", false},
      {"overlong", "\xC0\xAF", u"\uFFFD\uFFFD", false},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false},
      {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
      {"no lead byte above F4", "\xF8\x80\x80", u"\uFFFD\uFFFD\uFFFD", false},
      {"cut by ASCII", "\xE3" "a", u"\uFFFDa", false},
      {"cut at the end", "a\xE5\x95", u"a\uFFFD\uFFFD", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf16FromUtf8(c.utf8), c.utf16) << c.name;
    if (c.roundTrips) {
      EXPECT_EQ(utf8FromUtf16(c.utf16), c.utf8) << c.name;
    }
  }
}

// A piece of a long value may end between the halves of a pair: the pieces
// are joined before conversion, and a half that stays alone becomes U+FFFD.
TEST(UtfCodec, LoneSurrogatesBecomeReplacementCharacters) {
  const std::u16string pair = u"\U0001F600";
  std::string halves;
  appendUtf8(pair.substr(0, 1), halves);
  appendUtf8(pair.substr(1), halves);
  EXPECT_EQ(halves, "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(utf8FromUtf16(u"a\xDC00\xD800"), "a\xEF\xBF\xBD\xEF\xBF\xBD");
  std::string joined = "x";
  appendUtf8(pair, joined);
  EXPECT_EQ(joined, "x\xF0\x9F\x98\x80");
}

// Narrow text is taken as is only when well-formed; anything else is read
// again wide, so each byte that a lax check would pass is a wrong answer.
TEST(UtfCodec, WellFormedUtf8) {
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
      // Runs of three-byte characters, and the short ASCII rest after them.
      {"\xE3\x82\xBD\xE8\xA1\xA8" "abc" + std::string("\0", 1) + "def", true},
      {"\xE3\x82\xBD\xE8\xA1\xA8" "abc\x80", false},
      {"\xE3\x82\xBD\xE8\xA1\xA8\xED\xA0\x80", false},  // a surrogate after a run
      {"\xE3\x82\xBD\xE8\xA1\xA8\xE0\x9F\xBF", false},  // overlong after a run
      {"\xE3\x82\xBD\xE8\xA1\xA8\xE3\x82", false},       // cut inside a run
      {"\xE3\x82\xBD\xE8\x41\xA8", false},                 // ASCII as a trail byte
      {"abcdefghijklmnopq\xE3\x82\xBD" "x", true},
      // Two characters a word, and a bad one in either half of a word.
      {"\xE3\x82\xBD\xE8\xA1\xA8\xE3\x82\xBD\xE8\xA1\xA8\xE3\x82\xBD\xE8\xA1\xA8" "abcdefgh", true},
      {"\xE3\x82\xBD\xED\xA0\x80" "abcdefgh", false},
      {"\xE0\x82\xBD\xE3\x82\xBD" "abcdefgh", false},
      {"\xE3\x82\xBD\xE3\xC2\xBD" "abcdefgh", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zorv::isWellFormedUtf8(c.bytes), c.wellFormed) << testing::PrintToString(c.bytes);
  }
}

}  // namespace
