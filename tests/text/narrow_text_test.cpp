#include "narrow_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cp932_table.h"

namespace zorv {
namespace {

std::string hexOf(std::string_view bytes) {
  std::string out;
  char part[4];
  for (unsigned char c : bytes) {
    std::snprintf(part, sizeof part, "%02X ", c);
    out += part;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

std::string bytesOf(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

struct NarrowCase {
  const char* what;
  std::u16string wide;
  std::string narrow;
};

TEST(NarrowCopy, ConvertsEveryUnitToItsCp932Bytes) {
  const NarrowCase cases[] = {
      {"connection template", u"host=ホスト名 user=ユーザー名",
       "host=" + bytesOf({0x83, 0x7A, 0x83, 0x58, 0x83, 0x67, 0x96, 0xBC}) + " user=" +
           bytesOf({0x83, 0x86, 0x81, 0x5B, 0x83, 0x55, 0x81, 0x5B, 0x96, 0xBC})},
      {"empty", u"", ""},
      {"NUL units are kept", std::u16string(u"a\0b\0", 4), std::string("a\0b\0", 4)},
      {"trail bytes that look like a backslash", u"ソ表能", bytesOf({0x83, 0x5C, 0x95, 0x5C, 0x94, 0x5C})},
      {"half-width katakana is one byte", u"ｱｲ", bytesOf({0xB1, 0xB2})},
      {"emoji: a '?' per unit", u"a😀b", "a??b"},
      {"lone high surrogate", std::u16string(1, u'\xD800') + u"x", "?x"},
      {"lone low surrogate", u"x" + std::u16string(1, u'\xDFFF'), "x?"},
      {"no CP932 form", u"é€", "??"},
  };
  for (const auto& c : cases) {
    const NarrowCopy copy = narrowCopy(c.wide);
    EXPECT_EQ(hexOf(copy.bytes()), hexOf(c.narrow)) << c.what;
    EXPECT_EQ(copy.length(), c.narrow.size()) << c.what;
    EXPECT_EQ(copy.data()[copy.length()], '\0') << c.what << ": closing NUL";
    EXPECT_GE(copy.length(), c.wide.size()) << c.what << ": at least a byte a unit";
  }
}

TEST(NarrowCopy, AsciiFastPathMatchesTheTableAtEveryAlignment) {
  // Runs of ASCII broken by a double-byte unit at each offset, so every
  // block boundary of the fast path meets a slow-path unit.
  for (size_t at = 0; at < 20; ++at) {
    std::u16string wide(19, u'a');
    wide.insert(at, u"表");
    std::string expected(19, 'a');
    expected.insert(at, bytesOf({0x95, 0x5C}));
    EXPECT_EQ(narrowCopy(wide).bytes(), expected) << "double-byte unit at " << at;
    EXPECT_EQ(wideText(expected), wide) << "double-byte unit at " << at;
  }
}

TEST(WideText, DecodesCp932AndKeepsEveryByteItCannotDecode) {
  const std::u16string dot = u"・";  // U+30FB, the replacement
  const struct {
    const char* what;
    std::string narrow;
    std::u16string wide;
  } cases[] = {
      {"round trip with 0x5C trail bytes", bytesOf({0x83, 0x5C, 0x95, 0x5C, 0x94, 0x5C}), u"ソ表能"},
      {"NUL bytes are kept", std::string("x\0y", 3), std::u16string(u"x\0y", 3)},
      {"lead byte then NUL keeps the NUL", bytesOf({0x83, 0x00, 0x41}), dot + std::u16string(u"\0A", 2)},
      {"lone lead byte at the end", bytesOf({0x41, 0x95}), u"A" + dot},
      {"lead byte then a byte that is no trail byte", bytesOf({0x83, 0x0A, 0x83, 0x5C}), dot + u"\nソ"},
      {"lead then a trail byte of an unassigned pair is one character", bytesOf({0x81, 0xAD, 0x41}), dot + u"A"},
      {"empty", "", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wideText(c.narrow), c.wide) << c.what;
  }
}

#ifdef _WIN32
constexpr bool kOnWindows = true;
#else
constexpr bool kOnWindows = false;
#endif

// One row of the measured data file: a UTF-16 unit whose CP932 form differs
// between Windows' converter (with or without best fit) and glibc's.
struct MeasuredUnit {
  std::string unit;  // four hex digits, as in the file
  std::string windowsNoBestFit;
  std::string glibc;
};

// The bytes of a "<hex>/<status>" field: '?' stands for every unit without a form.
std::string bytesOfField(const std::string& field) {
  const std::string digits = field.substr(0, field.find('/'));
  std::string bytes;
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

std::vector<MeasuredUnit> measuredUnits() {
  std::ifstream in(ZORV_TEST_DATA_DIR "/cp932-encode-differences.tsv");
  EXPECT_TRUE(in) << "missing data file";
  std::vector<MeasuredUnit> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string unit, windows, windowsNoBestFit, glibc;
    std::getline(fields, unit, '\t');
    std::getline(fields, windows, '\t');
    std::getline(fields, windowsNoBestFit, '\t');
    std::getline(fields, glibc, '\t');
    rows.push_back({unit, bytesOfField(windowsNoBestFit), bytesOfField(glibc)});
  }
  return rows;
}

char16_t unitOf(const std::string& hexDigits) {
  return static_cast<char16_t>(std::stoul(hexDigits, nullptr, 16));
}

// Every measured unit encodes as this platform's converter does: Windows'
// without best fit (a unit without a real form is '?', never a look-alike),
// or glibc's, '?' where it has no form.
TEST(Cp932Table, EncodesEveryMeasuredUnitAsThisPlatformsConverterDoes) {
  const auto rows = measuredUnits();
  for (const auto& row : rows) {
    const std::string expected = kOnWindows ? row.windowsNoBestFit : row.glibc;
    EXPECT_EQ(hexOf(narrowCopy(std::u16string(1, unitOf(row.unit))).bytes()), hexOf(expected))
        << "unit " << row.unit;
  }
  EXPECT_EQ(rows.size(), 93u) << "rows read from the data file";
}

// The units whose bytes still differ between the platforms once Windows'
// best fit is off: text with them reaches the library differently.
struct PlatformSplit {
  char16_t unit;
  const char* windows;
  const char* glibc;
};
const PlatformSplit kPlatformSplits[] = {
    {u'\u0080', "80", "3F"},     // C1 control: only Windows passes it through
    {u'\u00A2', "3F", "81 91"},  // CENT SIGN
    {u'\u00A3', "3F", "81 92"},  // POUND SIGN
    {u'\u00A5', "3F", "5C"},     // YEN SIGN
    {u'\u00AC', "3F", "81 CA"},  // NOT SIGN
    {u'\u2014', "3F", "81 5C"},  // EM DASH
    {u'\u2016', "3F", "81 61"},  // DOUBLE VERTICAL LINE
    {u'\u203E', "3F", "7E"},     // OVERLINE
    {u'\u2212', "3F", "81 7C"},  // MINUS SIGN
    {u'\u301C', "3F", "81 60"},  // WAVE DASH
    {u'\uF8F0', "A0", "3F"},     // private use: Windows' single bytes A0, FD-FF
    {u'\uF8F1', "FD", "3F"},
    {u'\uF8F2', "FE", "3F"},
    {u'\uF8F3', "FF", "3F"},
};

TEST(Cp932Table, EncodesEachUnitWherePlatformsSplitWithThisPlatformsBytes) {
  for (const auto& split : kPlatformSplits) {
    EXPECT_EQ(hexOf(narrowCopy(std::u16string(1, split.unit)).bytes()),
              kOnWindows ? split.windows : split.glibc)
        << "unit " << std::hex << static_cast<int>(split.unit);
  }
}

TEST(Cp932Table, ThePinnedSplitsAreExactlyTheMeasuredDisagreements) {
  std::vector<std::string> measured;
  for (const auto& row : measuredUnits()) {
    if (row.windowsNoBestFit != row.glibc) {
      measured.push_back(row.unit + " " + hexOf(row.windowsNoBestFit) + " / " + hexOf(row.glibc));
    }
  }
  std::vector<std::string> pinned;
  for (const auto& split : kPlatformSplits) {
    char unit[8];
    std::snprintf(unit, sizeof unit, "%04X", static_cast<unsigned>(split.unit));
    pinned.push_back(std::string(unit) + " " + split.windows + " / " + split.glibc);
  }
  EXPECT_EQ(pinned, measured);
}

// Decoding: the platforms' tables agree on every byte and pair but 0x80,
// which only Windows decodes (to U+0080). Around the units where encoding
// splits, both decode to the same full-width forms, and Windows' single
// bytes A0 and FD-FF, which it writes for U+F8F0-U+F8F3, decode to nothing.
TEST(WideText, DecodesWhereThePlatformsSplitWithThisPlatformsCharacters) {
  const std::u16string dot = u"\u30FB";
  const struct {
    const char* what;
    std::string narrow;
    std::u16string windows;
    std::u16string glibc;
  } cases[] = {
      {"0x80", bytesOf({0x80}), u"\u0080", dot},
      {"A0, FD, FE, FF", bytesOf({0xA0, 0xFD, 0xFE, 0xFF}), dot + dot + dot + dot, dot + dot + dot + dot},
      {"5C and 7E are ASCII", bytesOf({0x5C, 0x7E}), u"\\~", u"\\~"},
      {"wave dash bytes", bytesOf({0x81, 0x60}), u"\uFF5E", u"\uFF5E"},
      {"em dash bytes", bytesOf({0x81, 0x5C}), u"\u2015", u"\u2015"},
      {"minus sign bytes", bytesOf({0x81, 0x7C}), u"\uFF0D", u"\uFF0D"},
      {"double vertical line bytes", bytesOf({0x81, 0x61}), u"\u2225", u"\u2225"},
      {"cent, pound, not sign bytes", bytesOf({0x81, 0x91, 0x81, 0x92, 0x81, 0xCA}),
       u"\uFFE0\uFFE1\uFFE2", u"\uFFE0\uFFE1\uFFE2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wideText(c.narrow), kOnWindows ? c.windows : c.glibc) << c.what;
  }
}

TEST(Cp932Table, EveryUnitWithAFormRoundTripsOrIsAKnownManyToOneMapping) {
  const Cp932Table& table = Cp932Table::instance();
  ASSERT_TRUE(table.asciiIsIdentity());
  int withForm = 0;
  int manyToOne = 0;
  for (uint32_t u = 0; u < 0x10000; ++u) {
    const auto unit = static_cast<char16_t>(u);
    const NarrowCopy copy = narrowCopy(std::u16string_view(&unit, 1));
    ASSERT_GE(copy.length(), 1u);
    ASSERT_LE(copy.length(), 2u);
    if (table.encode(unit) == Cp932Table::kNoForm) {
      ASSERT_EQ(copy.bytes(), "?") << "unit " << u;
      continue;
    }
    ++withForm;
    const std::u16string back = wideText(copy);
    ASSERT_EQ(back.size(), 1u) << "unit " << u;
    if (back[0] != unit) ++manyToOne;  // e.g. duplicate NEC/IBM codes, U+00A5 -> 5C
  }
  // CP932 has about 7,900 characters; a few hundred units share their bytes.
  EXPECT_GT(withForm, 7000);
  EXPECT_LT(manyToOne, 500);
}

}  // namespace
}  // namespace zorv
