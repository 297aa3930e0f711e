// The checker's CP932 judgement must tell whole answers from cut ones.
#include <gtest/gtest.h>

#include <string>

#include "exerciser.h"
#include "replay_report.h"

namespace {

using zorv::check::characterStart;
using zorv::check::cp932Flaw;

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

// A replayed answer's excerpt starts on a character as the console splits
// the bytes, so it shows the same characters.
TEST(CheckerText, CharacterStarts) {
  const struct {
    std::string bytes;
    size_t at;
    size_t start;
  } cases[] = {
      {"ab\x83\x5C" "cd", 3, 2},       // the trail byte of a character
      {"ab\x83\x5C" "cd", 4, 4},
      {"\x95\x0A\x83\x5C", 1, 1},     // a lead byte before a newline stands alone
      {"\x95\x0A\x83\x5C", 3, 2},
      {"x\x95", 1, 1},                 // a lead byte at the end
  };
  for (const auto& c : cases) {
    EXPECT_EQ(characterStart(c.bytes, c.at), c.start) << testing::PrintToString(c.bytes) << " at " << c.at;
  }
}

}  // namespace
