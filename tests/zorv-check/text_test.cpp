// The checker's own text handling: command-line UTF-8 must reach the library
// unchanged (the checker never judges a result code, so a garbled query would
// go unnoticed), and the CP932 judgement must tell whole answers from cut ones.
#include <gtest/gtest.h>

#include <string>

#include "exerciser.h"
#include "utf8.h"

namespace {

using zorv::check::cp932Flaw;
using zorv::check::utf16FromUtf8;
using zorv::check::utf8FromUtf16;

struct Utf8Case {
  const char* name;
  std::string utf8;
  std::u16string utf16;
  bool roundTrips;
};

TEST(CheckerText, Utf8ToUtf16) {
  const Utf8Case cases[] = {
      {"ascii", "select 1", u"select 1", true},
      {"japanese", "select * from 商品", u"select * from 商品", true},
      {"four bytes", "\xF0\x9F\x98\x80", u"\U0001F600", true},
      {"overlong", "\xC0\xAF", u"\uFFFD\uFFFD", false},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false},
      {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
      {"cut at the end", "a\xE5\x95", u"a\uFFFD\uFFFD", false},
      {"NUL inside", std::string("a\0b", 3), std::u16string(u"a\0b", 3), true},
  };
  for (const Utf8Case& c : cases) {
    EXPECT_EQ(utf16FromUtf8(c.utf8), c.utf16) << c.name;
    if (c.roundTrips) {
      EXPECT_EQ(utf8FromUtf16(c.utf16), c.utf8) << c.name;
    }
  }
}

TEST(CheckerText, Cp932Flaws) {
  const struct {
    const char* name;
    std::string answer;
    const char* flaw;  // the start of the sentence, or "" for a whole answer
  } cases[] = {
      {"empty", "", ""},
      {"ascii and half-width kana", "A-001\t\xB1", ""},
      {"trail byte 0x5C", "\x83\x5C\x95\x5C", ""},
      {"lead byte at the end", "ab\x95", "ends inside a double-byte character (lead byte 0x95"},
      {"lead byte before a non-trail", "\x95\x0A",
       "holds bytes that form no CP932 character (0x95 at byte 0)"},
      {"byte of no character", "a\x85\x40",
       "holds bytes that form no CP932 character (0x85 at byte 1)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cp932Flaw(c.answer).rfind(c.flaw, 0), 0u) << c.name << ": " << cp932Flaw(c.answer);
    EXPECT_EQ(cp932Flaw(c.answer).empty(), *c.flaw == '\0') << c.name;
  }
}

}  // namespace
