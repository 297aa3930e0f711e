#include "answer_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using zorv::lib::AnswerWriter;
using zorv::lib::FieldView;

const std::string kSoUtf8 = "\xE3\x82\xBD";  // ソ, 83 5C in CP932
const std::string kSoCp932 = "\x83\x5C";

// A console-sized buffer followed by a guard area that must stay untouched.
struct GuardedBuffer {
  static constexpr size_t kGuard = 64;
  std::array<char, AnswerWriter::kCapacity + kGuard> bytes;
  GuardedBuffer() { bytes.fill('#'); }
  bool guardIntact() const {
    for (size_t i = AnswerWriter::kCapacity; i < bytes.size(); ++i) {
      if (bytes[i] != '#') return false;
    }
    return true;
  }
  std::string text() const { return std::string(bytes.data()); }
};

FieldView field(const std::string& text) { return FieldView{text.data(), text.size(), false}; }

std::string repeat(const std::string& unit, size_t times) {
  std::string text;
  for (size_t i = 0; i < times; ++i) text += unit;
  return text;
}

TEST(AnswerWriter, StartsEmptyAndJoinsFieldsWithTabsAndNullsAsEmpty) {
  GuardedBuffer buffer;
  AnswerWriter writer(buffer.bytes.data());
  EXPECT_EQ(buffer.text(), "");
  const std::string a = "a";
  const std::string b = kSoUtf8 + "\\";
  const std::vector<FieldView> fields = {field(a), FieldView{nullptr, 0, true}, field(b)};
  EXPECT_TRUE(writer.appendFields(fields));
  EXPECT_EQ(buffer.text(), "a\t\t" + kSoCp932 + "\\");
  EXPECT_EQ(writer.code(), 0);
}

TEST(AnswerWriter, CutsTextAtACharacterBoundary) {
  struct Case {
    std::string prefix;  // ASCII written first, shifting where the cut falls
    size_t expectedSize;
  };
  // 8191 bytes are available; ソ takes 2 in CP932.
  const std::vector<Case> cases = {{"", 8190}, {"a", 8191}, {"ab", 8190}};
  for (const auto& c : cases) {
    GuardedBuffer buffer;
    AnswerWriter writer(buffer.bytes.data());
    const std::string text = c.prefix + repeat(kSoUtf8, 5000);
    EXPECT_FALSE(writer.appendText(text));
    EXPECT_EQ(writer.code(), 1);
    EXPECT_EQ(buffer.text(), c.prefix + repeat(kSoCp932, (c.expectedSize - c.prefix.size()) / 2));
    EXPECT_EQ(writer.size(), c.expectedSize);
    EXPECT_TRUE(buffer.guardIntact());
    EXPECT_FALSE(writer.appendText("x")) << "nothing is added after a cut";
  }
}

// A field the database layer knows to be short plain ASCII is copied in
// overlapping words: at every length, with room to spare, just enough room
// and a byte too little, it must come whole or cut, never past the limit.
TEST(AnswerWriter, ShortPlainFieldsComeWholeOrCutAtTheLimit) {
  const std::string digits = "0123456789abcdef";
  for (size_t length = 1; length <= 16; ++length) {
    const std::string value = digits.substr(0, length);
    for (const size_t room : {length + 1, length, length - 1}) {
      GuardedBuffer buffer;
      AnswerWriter writer(buffer.bytes.data());
      const std::string filler(AnswerWriter::kLimit - room, 'x');
      ASSERT_TRUE(writer.appendText(filler));
      const std::vector<FieldView> fields = {FieldView{value.data(), value.size(), false, true}};
      EXPECT_EQ(writer.appendFields(fields), length <= room) << length << " in " << room;
      EXPECT_EQ(buffer.text(), filler + value.substr(0, room)) << length << " in " << room;
      EXPECT_EQ(writer.code(), length <= room ? 0 : 1) << length << " in " << room;
      EXPECT_TRUE(buffer.guardIntact()) << length << " in " << room;
    }
  }
}

TEST(AnswerWriter, KeepsWholeLinesOnly) {
  GuardedBuffer buffer;
  AnswerWriter writer(buffer.bytes.data());
  const std::string line(1000, 'x');  // 1002 bytes with CR LF
  const std::vector<FieldView> fields = {field(line)};
  int whole = 0;
  while (writer.appendLine(fields)) ++whole;
  EXPECT_EQ(whole, 8);  // 8 * 1002 = 8016; a ninth would need 9018
  EXPECT_EQ(buffer.text(), repeat(line + "\r\n", 8));
  EXPECT_EQ(writer.code(), 1);
  EXPECT_TRUE(buffer.guardIntact());
}

TEST(AnswerWriter, CutsOnlyTheFirstLineInsideAndDropsItsPartialLineEnd) {
  struct Case {
    size_t length;        // ASCII bytes of the only field
    std::string answer;   // expected answer
  };
  const std::vector<Case> cases = {
      {8189, std::string(8189, 'y') + "\r\n"},  // fits whole
      {8190, std::string(8190, 'y')},           // CR fits, LF does not: no line end
      {8191, std::string(8191, 'y')},
      {9000, std::string(8191, 'y')},
  };
  for (const auto& c : cases) {
    GuardedBuffer buffer;
    AnswerWriter writer(buffer.bytes.data());
    const std::string text(c.length, 'y');
    const std::vector<FieldView> fields = {field(text)};
    writer.appendLine(fields);
    EXPECT_EQ(buffer.text(), c.answer) << c.length;
    EXPECT_EQ(writer.code(), c.length <= 8189 ? 0 : 1) << c.length;
    EXPECT_TRUE(buffer.guardIntact());
  }
}

TEST(AnswerWriter, ReportsReplacementUnlessCut) {
  GuardedBuffer buffer;
  AnswerWriter writer(buffer.bytes.data());
  writer.appendText("\xC3\xA9");  // é has no CP932 form
  EXPECT_EQ(buffer.text(), "?");
  EXPECT_EQ(writer.code(), 2);
  writer.appendText(std::string(9000, 'z'));
  EXPECT_EQ(writer.code(), 1);
  writer.clear();
  EXPECT_EQ(buffer.text(), "");
  EXPECT_EQ(writer.code(), 0);
}

}  // namespace
