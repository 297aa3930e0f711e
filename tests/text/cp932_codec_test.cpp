#include "cp932_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "narrow_text.h"
#include "system_cp932.h"
#include "utf_codec.h"

namespace {

using zorv::Cp932Codec;

// The UTF-8 form of one code point below U+10000.
std::string utf8Of(char32_t unit) {
  std::string out;
  if (unit < 0x80) {
    out += static_cast<char>(unit);
  } else if (unit < 0x800) {
    out += static_cast<char>(0xC0 | (unit >> 6));
    out += static_cast<char>(0x80 | (unit & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (unit >> 12));
    out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (unit & 0x3F));
  }
  return out;
}

std::optional<std::string> toUtf8(const std::string& cp932) {
  std::string out;
  if (!Cp932Codec::instance().toUtf8(cp932, out)) return std::nullopt;
  return out;
}

std::string fromUtf8(const std::string& utf8, size_t capacity, bool* complete = nullptr,
                     bool* replaced = nullptr) {
  std::string out(capacity, '\0');
  const auto encoded = Cp932Codec::instance().fromUtf8(utf8, out.data(), capacity);
  out.resize(encoded.written);
  if (complete != nullptr) *complete = encoded.complete;
  if (replaced != nullptr) *replaced = encoded.replaced;
  return out;
}

TEST(Cp932Codec, DecodesEveryCharacterAsTheSystemConverterDoes) {
  int checked = 0;
  for (int first = 1; first < 256; ++first) {
    const std::string one(1, static_cast<char>(first));
    const auto expectedOne = systemCp932ToUtf8(one);
    if (expectedOne) {
      EXPECT_EQ(toUtf8(one), expectedOne) << std::hex << first;
      ++checked;
      continue;
    }
    for (int second = 0; second < 256; ++second) {
      const std::string two = one + static_cast<char>(second);
      EXPECT_EQ(toUtf8(two), systemCp932ToUtf8(two)) << std::hex << first << second;
      ++checked;
    }
  }
  EXPECT_GT(checked, 7000);
}

TEST(Cp932Codec, EncodesEveryBmpCharacterAsTheSystemConverterDoes) {
  for (char32_t unit = 1; unit < 0x10000; ++unit) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;
    const auto utf8 = utf8Of(unit);
    const auto expected = systemUtf8ToCp932(utf8);
    bool replaced = false;
    const std::string actual = fromUtf8(utf8, 4, nullptr, &replaced);
    if (expected) {
      // Several code points may share a CP932 form; the form must decode back
      // to a character the system converter accepts, or be the converter's
      // own form where it does not read back what it writes (code page 932
      // writes U+F8F0-U+F8F3 as single bytes A0, FD-FF that it then refuses).
      EXPECT_FALSE(replaced) << std::hex << static_cast<uint32_t>(unit);
      EXPECT_TRUE(systemCp932ToUtf8(actual) || actual == *expected) << std::hex << static_cast<uint32_t>(unit);
      EXPECT_EQ(actual.size(), expected->size()) << std::hex << static_cast<uint32_t>(unit);
    } else {
      EXPECT_EQ(actual, "?") << std::hex << static_cast<uint32_t>(unit);
      EXPECT_TRUE(replaced);
    }
  }
}

TEST(Cp932Codec, ReportsWhereInvalidTextGoesWrong) {
  struct Case {
    std::string text;
    size_t offset;
  };
  const std::vector<Case> cases = {
      {"\x83", 0},                       // lead byte at the end
      {"ab\x83", 2},
      {"abcdefghijk\x81\x7F", 11},       // after a long ASCII run
      {"\x83\x5C\x83\x0A", 2},           // ソ, then a lead byte before a newline
      {"SELECT '\x95\x5C\x95'", 10},     // 表, then a lead byte before a quote
  };
  for (const auto& c : cases) {
    std::string out;
    size_t offset = 999;
    EXPECT_FALSE(Cp932Codec::instance().toUtf8(c.text, out, &offset));
    EXPECT_EQ(offset, c.offset);
  }
}

TEST(Cp932Codec, TrailBytesThatLookLikeBackslashStayInTheirCharacter) {
  // ソ表\ in CP932 is 83 5C 95 5C 5C: only the last byte is a backslash.
  EXPECT_EQ(toUtf8("\x83\x5C\x95\x5C\x5C"), "\xE3\x82\xBD\xE8\xA1\xA8\\");
}

TEST(Cp932Codec, EncodingStopsBeforeACharacterThatDoesNotFit) {
  struct Case {
    std::string utf8;
    size_t capacity;
    std::string cp932;
    bool complete;
    bool replaced;
  };
  const std::string so = "\xE3\x82\xBD";
  const std::vector<Case> cases = {
      {"a" + so, 3, "a\x83\x5C", true, false},
      {"a" + so, 2, "a", false, false},
      {"abcdefghijklmnop", 10, "abcdefghij", false, false},
      {"\xC3\xA9x", 8, "?x", true, true},                 // é: no CP932 form
      {"\xF0\x9F\x98\x80", 8, "?", true, true},           // outside the BMP
      {"\xFF" "a", 8, "?a", true, true},                  // malformed UTF-8
      {"\xE3\x82", 8, "??", true, true},                  // truncated sequence
      {"\xED\xA0\x80", 8, "???", true, true},             // an encoded surrogate
      {std::string("a\0b", 3), 8, "a?b", true, true},     // NUL would end the answer
      {"\xEF\xBD\xB1", 8, "\xB1", true, false},           // half-width katakana: one byte
      // Inside a run of three-byte characters.
      {so + so + so, 5, "\x83\x5C\x83\x5C", false, false},
      {so + "\xEF\xBD\xB1" + so, 8, "\x83\x5C\xB1\x83\x5C", true, false},
      {so + "\xE1\x80\x80" + so, 8, "\x83\x5C?\x83\x5C", true, true},  // U+1000: no form
      {so + "\xE0\x80\x80" + so, 8, "\x83\x5C???\x83\x5C", true, true},  // overlong
      {so + "\xED\xA0\x80" + so, 8, "\x83\x5C???\x83\x5C", true, true},  // a surrogate
      {so + so + "\xE3\x82", 8, "\x83\x5C\x83\x5C??", true, true},      // cut at the end
  };
  for (const auto& c : cases) {
    bool complete = false;
    bool replaced = false;
    EXPECT_EQ(fromUtf8(c.utf8, c.capacity, &complete, &replaced), c.cp932) << c.utf8;
    EXPECT_EQ(complete, c.complete) << c.utf8;
    EXPECT_EQ(replaced, c.replaced) << c.utf8;
  }
}

// Malformed UTF-8 reads the same on the way to CP932 as on the way to
// UTF-16: each byte that starts no character is one U+FFFD there and one '?'
// here, whether it stands among ASCII or inside a run of Japanese text.
TEST(Cp932Codec, MalformedUtf8GivesOneReplacementPerByteAsTheUtf16PathDoes) {
  const struct {
    const char* what;
    std::string bytes;
    size_t replacements;
  } cases[] = {
      {"overlong two-byte", "\xC0\xAF", 2},
      {"overlong three-byte", "\xE0\x80\x80", 3},
      {"overlong four-byte", "\xF0\x80\x80\x80", 4},
      {"encoded surrogate", "\xED\xA0\x80", 3},
      {"encoded low surrogate", "\xED\xBF\xBF", 3},
      {"past U+10FFFF", "\xF4\x90\x80\x80", 4},
      {"lead byte above F4", "\xF5\x80\x80\x80", 4},
      {"lone trail byte", "\x80", 1},
      {"three-byte cut short", "\xE3\x82", 2},
      {"four-byte cut short", "\xF0\x9F\x98", 3},
  };
  const std::string so = "\xE3\x82\xBD";
  const struct {
    std::string before, after, cp932Before, cp932After;
  } contexts[] = {{"a", "b", "a", "b"}, {so, so, "\x83\x5C", "\x83\x5C"}};
  for (const auto& c : cases) {
    for (const auto& around : contexts) {
      const std::string utf8 = around.before + c.bytes + around.after;
      const std::u16string wide = zorv::utf16FromUtf8(utf8);
      EXPECT_EQ(std::count(wide.begin(), wide.end(), u'\uFFFD'),
                static_cast<std::ptrdiff_t>(c.replacements))
          << c.what;
      const std::string want = around.cp932Before + std::string(c.replacements, '?') + around.cp932After;
      EXPECT_EQ(fromUtf8(utf8, 16), want) << c.what << " (UTF-8 to CP932)";
      EXPECT_EQ(zorv::narrowCopy(wide).bytes(), want) << c.what << " (through UTF-16)";
    }
  }
}

// Plain ASCII is copied in words that overlap at the end of the text, so a
// fault shows as a lost, doubled or unchecked byte at some length or
// position. Every length up to 40 is tried plain, with one byte of each kind
// that must not pass unconverted at every position, and one byte short of
// room.
TEST(Cp932Codec, AsciiOfEveryLengthIsCopiedWholeAndEveryOtherByteConverted) {
  struct Odd {
    std::string utf8;
    std::string cp932;
    bool replaced;
  };
  const std::vector<Odd> odds = {
      {std::string(1, '\0'), "?", true},
      {"\x80", "?", true},                 // a lone continuation byte
      {"\xE3\x82\xBD", "\x83\x5C", false},  // ソ
      {"\x7F", "\x7F", false},             // the last ASCII byte passes as it is
  };
  for (size_t length = 0; length <= 40; ++length) {
    std::string plain;
    for (size_t i = 0; i < length; ++i) plain.push_back(static_cast<char>('!' + (i * 7) % 90));
    bool complete = false;
    bool replaced = true;
    EXPECT_EQ(fromUtf8(plain, length, &complete, &replaced), plain) << length;
    EXPECT_TRUE(complete);
    EXPECT_FALSE(replaced);
    if (length > 0) {
      EXPECT_EQ(fromUtf8(plain, length - 1, &complete), plain.substr(0, length - 1)) << length;
      EXPECT_FALSE(complete) << length;
    }
    for (size_t at = 0; at < length; ++at) {
      for (const auto& odd : odds) {
        const std::string utf8 = plain.substr(0, at) + odd.utf8 + plain.substr(at + 1);
        const std::string want = plain.substr(0, at) + odd.cp932 + plain.substr(at + 1);
        EXPECT_EQ(fromUtf8(utf8, want.size(), &complete, &replaced), want) << length << " " << at;
        EXPECT_TRUE(complete);
        EXPECT_EQ(replaced, odd.replaced) << length << " " << at;
      }
    }
  }
}

}  // namespace
