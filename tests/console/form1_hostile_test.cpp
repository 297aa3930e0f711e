// The console against answers that break the library's side of the bargain,
// and against input no person would type but anyone can paste.
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "fake_bridge.h"
#include "form1.h"
#include "form_controls.h"
#include "narrow_text.h"

namespace zorv {
namespace {

using testing::FakeBridge;

class HostileTest : public ::testing::Test {
 protected:
  void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  Form1 form;
  FakeBridge bridge;
};

TEST_F(HostileTest, AnswersWithoutANulOrWithBrokenCharactersShowWhatCanBeShown) {
  const QString dot = QString::fromUtf8("・");
  // Every high byte once: none of 0x80, 0xA0, 0xFD-0xFF is a character, and
  // each lead byte takes the byte after it as its trail when it can.
  std::string high;
  for (int b = 0x80; b <= 0xFF; ++b) high += static_cast<char>(b);
  bridge.script(0, high + '\0');
  click(testing::control<QPushButton>(form, "Command3"));
  const QString shown = testing::control<QPlainTextEdit>(form, "text2")->toPlainText();
  EXPECT_TRUE(shown.startsWith(dot)) << "0x80 is no character";
  EXPECT_GT(shown.size(), 64);
  EXPECT_LE(shown.size(), 128);

  // A lead byte as the very last of 8192 bytes, and no NUL anywhere.
  bridge.script(0, std::string(8191, 'a') + '\x83');
  click(testing::control<QPushButton>(form, "Command3"));
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), QString(8191, QChar('a')) + dot);
  EXPECT_EQ(form.resultBuffer().units().size(), ResultBuffer::kUnits);

  // The next exchange still hands over a well-formed copy with its NUL.
  click(testing::control<QPushButton>(form, "Command5"));
  EXPECT_EQ(bridge.lastCall().first.substr(8189), "aa\x81\x45");
}

TEST_F(HostileTest, InputOfAnySizeAndShapeIsPassedPerUnitAndTheWindowStaysResponsive) {
  std::u16string everyUnit;
  for (uint32_t u = 1; u < 0x10000; ++u) everyUnit += static_cast<char16_t>(u);
  const struct {
    const char* what;
    std::u16string text;
    std::string expected;  // what the library reads, up to the first NUL
  } cases[] = {
      {"1 MiB of ASCII", std::u16string(1 << 20, u'x'), std::string(1 << 20, 'x')},
      {"lone surrogates and emoji", std::u16string{char16_t(0xD800), u'a', char16_t(0xDC00)} + u"😀", "?a???"},
      {"NUL units end what the library reads", std::u16string(u"ab\0cd", 5), "ab"},
  };
  for (const auto& c : cases) {
    const QString text = QString::fromUtf16(c.text.data(), static_cast<qsizetype>(c.text.size()));
    testing::control<QLineEdit>(form, "Text1")->setText(text);
    for (QPushButton* button : {testing::control<QPushButton>(form, "Command1"), testing::control<QPushButton>(form, "Command2"), testing::control<QPushButton>(form, "Command6")}) {
      QElapsedTimer timer;
      timer.start();
      click(button);
      EXPECT_LT(timer.elapsed(), 2000) << c.what << ": " << button->text().toStdString();
      EXPECT_EQ(bridge.lastCall().first, c.expected) << c.what << ": " << button->text().toStdString();
    }
    EXPECT_EQ(testing::control<QLineEdit>(form, "Text1")->text(), text) << c.what;
  }

  // Every unit of the basic plane once, NUL aside: each becomes whole CP932
  // characters or one '?', so reading the bytes back gives one unit a unit.
  testing::control<QLineEdit>(form, "Text1")->setText(QString::fromUtf16(everyUnit.data(), static_cast<qsizetype>(everyUnit.size())));
  click(testing::control<QPushButton>(form, "Command2"));
  const std::string passed = bridge.lastCall().first;
  EXPECT_GT(passed.size(), everyUnit.size());
  EXPECT_EQ(wideText(passed).size(), everyUnit.size());

  // Still answering: the next click runs and shows its code.
  bridge.script(5, "");
  click(testing::control<QPushButton>(form, "Command4"));
  EXPECT_EQ(testing::control<QLabel>(form, "Label2")->text(), "5");
}

}  // namespace
}  // namespace zorv
