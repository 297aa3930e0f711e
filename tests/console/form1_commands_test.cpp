#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <climits>

#include "fake_bridge.h"
#include "form1.h"
#include "form_controls.h"

namespace zorv {
namespace {

using testing::FakeBridge;

const std::string kTemplateBytes =
    "host=\x83\x7A\x83\x58\x83\x67\x96\xBC user=\x83\x86\x81\x5B\x83\x55\x81\x5B\x96\xBC";

class CommandsTest : public ::testing::Test {
 protected:
  void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  std::u16string buffer() const { return std::u16string(form.resultBuffer().units()); }

  Form1 form;
  FakeBridge bridge;
};

TEST_F(CommandsTest, OpenCursorAndCloseCallTheBridgeEachTimeAndShowOnlyTheCode) {
  const QString note = testing::control<QPlainTextEdit>(form, "text2")->toPlainText();
  bridge.script(-1, "");
  click(testing::control<QPushButton>(form, "Command2"));  // "Cursor" before any "Open"
  EXPECT_EQ(bridge.lastCall().entry, "ZORVcursor");
  EXPECT_EQ(bridge.lastCall().first, kTemplateBytes);
  EXPECT_EQ(testing::control<QLabel>(form, "Label2")->text(), "-1");

  bridge.script(0, "");
  click(testing::control<QPushButton>(form, "Command1"));
  EXPECT_EQ(bridge.lastCall().entry, "ZORVlogin");
  EXPECT_EQ(bridge.lastCall().first, kTemplateBytes) << "the unchanged template";
  EXPECT_EQ(testing::control<QLabel>(form, "Label2")->text(), "0");

  bridge.script(INT32_MIN, "");
  click(testing::control<QPushButton>(form, "Command1"));
  EXPECT_EQ(bridge.callCount(), 3u) << "a second Open calls again";
  EXPECT_EQ(testing::control<QLabel>(form, "Label2")->text(), "-2147483648");
  EXPECT_GE(testing::control<QLabel>(form, "Label2")->width(), testing::control<QLabel>(form, "Label2")->fontMetrics().horizontalAdvance("-2147483648"))
      << "the whole code must show";

  bridge.script(7, "");
  bridge.script(INT32_MAX, "");
  click(testing::control<QPushButton>(form, "Command4"));
  EXPECT_EQ(testing::control<QLabel>(form, "Label2")->text(), "7");
  click(testing::control<QPushButton>(form, "Command4"));
  EXPECT_EQ(bridge.lastCall().entry, "ZORVclose");
  EXPECT_EQ(testing::control<QLabel>(form, "Label2")->text(), "2147483647");

  testing::control<QLineEdit>(form, "Text1")->clear();
  click(testing::control<QPushButton>(form, "Command1"));
  EXPECT_EQ(bridge.lastCall().first, "") << "an empty input passes an empty text";

  EXPECT_EQ(bridge.callCount(), 6u);
  EXPECT_EQ(testing::control<QLineEdit>(form, "Text1")->text(), "");
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), note) << "connection commands never touch the answer box";
  EXPECT_EQ(buffer(), std::u16string(ResultBuffer::kUnits, u'\0'));
}

TEST_F(CommandsTest, InputIsPassedAsTypedWithNothingTrimmed) {
  testing::control<QLineEdit>(form, "Text1")->clear();
  QTest::keyClicks(testing::control<QLineEdit>(form, "Text1"), "  select 1  ");
  click(testing::control<QPushButton>(form, "Command2"));
  EXPECT_EQ(bridge.lastCall().first, "  select 1  ");
  EXPECT_EQ(testing::control<QLineEdit>(form, "Text1")->text(), "  select 1  ");
}

TEST_F(CommandsTest, FirstAnswerHandsOverTheEmptyBufferAndReplacesTheNote) {
  bridge.script(0, std::string("id\tname\0", 8));
  click(testing::control<QPushButton>(form, "Command7"));  // "Header"
  const auto call = bridge.lastCall();
  EXPECT_EQ(call.entry, "ZORVfnames");
  EXPECT_EQ(call.first, std::string(8192, '\0'));  // the fake reads up to the closing NUL
  EXPECT_EQ(testing::control<QLabel>(form, "Label2")->text(), "0");
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), "id\tname");
}

TEST_F(CommandsTest, ShorterAnswerLeavesTheOldTailUnseenAndASilentCallShowsItAgain) {
  bridge.script(0, std::string("abc\0", 4));
  click(testing::control<QPushButton>(form, "Command3"));  // "Fetch"
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), "abc");

  bridge.script(1, std::string("x\0", 2));
  click(testing::control<QPushButton>(form, "Command3"));
  std::u16string expected(ResultBuffer::kUnits, u'\0');
  expected[0] = u'x';
  expected[2] = u'c';
  EXPECT_EQ(buffer(), expected);
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), "x");

  bridge.scriptNoWrite(100);
  click(testing::control<QPushButton>(form, "Command5"));  // "MsgGet" that writes nothing
  EXPECT_EQ(bridge.lastCall().first.substr(0, 4), std::string("x\0c\0", 4));
  EXPECT_EQ(testing::control<QLabel>(form, "Label2")->text(), "100");
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), "x");
  EXPECT_EQ(buffer(), expected);
}

TEST_F(CommandsTest, DoubleByteAnswerFillsTheTailWithBlanksAndLengthensTheNextCopy) {
  // 10 double-byte characters take 20 of the copy's 8192 bytes and come back
  // as 10 units: 8182 units in all, so 10 blanks fill the buffer's end.
  std::string answer;
  for (int i = 0; i < 10; ++i) answer += "\x95\x5C";  // 表
  answer += '\0';
  bridge.script(0, answer);
  click(testing::control<QPushButton>(form, "Command3"));
  const std::u16string units = buffer();
  EXPECT_EQ(units.substr(0, 10), std::u16string(10, u'表'));
  EXPECT_EQ(units.substr(ResultBuffer::kUnits - 10), std::u16string(10, u' '));
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), QString(10, QChar(u'表')));

  click(testing::control<QPushButton>(form, "Command3"));  // writes nothing
  EXPECT_EQ(bridge.lastCall().first.size(), 8192u + 10u) << "10 units now take two bytes";
}

TEST_F(CommandsTest, LongestAnswerShowsAll8191Characters) {
  std::string answer(8191, 'z');
  answer += '\0';
  bridge.script(0, answer);
  click(testing::control<QPushButton>(form, "Command5"));
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), QString(8191, QChar('z')));
}

TEST_F(CommandsTest, ExecPassesTheStatementFirstAndTheBufferSecondEvenWhenEmpty) {
  testing::control<QLineEdit>(form, "Text1")->setText(QString::fromUtf8("select 'ソ表'"));
  bridge.script(0, std::string("1\0", 2));
  click(testing::control<QPushButton>(form, "Command6"));
  EXPECT_EQ(bridge.lastCall().entry, "ZORVexec");
  EXPECT_EQ(bridge.lastCall().first, "select '\x83\x5C\x95\x5C'");
  EXPECT_EQ(bridge.lastCall().second, std::string(8192, '\0'));
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), "1");

  testing::control<QLineEdit>(form, "Text1")->clear();
  bridge.script(-4, std::string("no statement\0", 13));
  click(testing::control<QPushButton>(form, "Command6"));
  EXPECT_EQ(bridge.lastCall().first, "");
  EXPECT_EQ(testing::control<QLabel>(form, "Label2")->text(), "-4");
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), "no statement");
  EXPECT_EQ(testing::control<QLineEdit>(form, "Text1")->text(), "");
}

TEST_F(CommandsTest, AnswersWithInvalidBytesShowReplacementsAndLoseNothingAfterThem) {
  // A lead byte before the NUL: the NUL still ends the answer.
  bridge.script(0, std::string("ab\x83\0zz", 6));
  click(testing::control<QPushButton>(form, "Command3"));
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), QString::fromUtf8("ab・"));
  // No NUL anywhere in the first 8192 bytes: everything shows.
  bridge.script(0, std::string(8192, 'q'));
  click(testing::control<QPushButton>(form, "Command3"));
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), QString(8192, QChar('q')));
}

}  // namespace
}  // namespace zorv
