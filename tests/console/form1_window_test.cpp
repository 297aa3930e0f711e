#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>

#include "fake_bridge.h"
#include "form1.h"
#include "form_controls.h"

namespace zorv {
namespace {

using testing::FakeBridge;

// The window as designed, in twips; each control must sit at these
// positions rounded to whole pixels at 15 twips a pixel.
struct Designed {
  const char* name;
  const char* kind;
  int left, top, width, height;
};
const Designed kDesign[] = {
    {"Text1", "QLineEdit", 120, 120, 7815, 492},
    {"Label2", "QLabel", 120, 720, 492, 252},
    {"Command1", "QPushButton", 120, 1080, 855, 375},
    {"Command6", "QPushButton", 1080, 1080, 855, 372},
    {"Command2", "QPushButton", 2040, 1080, 855, 372},
    {"Command3", "QPushButton", 3000, 1080, 855, 372},
    {"Command7", "QPushButton", 3960, 1080, 855, 372},
    {"Command4", "QPushButton", 4920, 1080, 975, 372},
    {"Command5", "QPushButton", 6000, 1080, 975, 372},
    {"Commandx", "QPushButton", 7080, 1080, 975, 375},
    {"text2", "QPlainTextEdit", 120, 1800, 7815, 3852},
    {"Label1", "QLabel", 4800, 5880, 3255, 255},
};

int px(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

class WindowTest : public ::testing::Test {
 protected:
  void showActive() {
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  }
  Form1 form;
};

TEST_F(WindowTest, EveryControlSitsWhereItsTwipsSayAndIsNamedAfterIt) {
  EXPECT_EQ(form.windowTitle(), "Velmo Test");
  EXPECT_EQ(form.size(), QSize(541, 413));
  ASSERT_EQ(form.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).size(), 12);
  for (const Designed& d : kDesign) {
    auto* control = form.findChild<QWidget*>(d.name, Qt::FindDirectChildrenOnly);
    ASSERT_NE(control, nullptr) << d.name;
    EXPECT_STREQ(control->metaObject()->className(), d.kind) << d.name;
    EXPECT_EQ(control->geometry(), QRect(px(d.left), px(d.top), px(d.width), px(d.height)))
        << d.name;
  }
}

TEST_F(WindowTest, StartsWithItsDefaultsAndFocusOnOpenWithoutLoadingTheBridge) {
  showActive();
  EXPECT_EQ(testing::control<QLabel>(form, "Label2")->text(), "");
  EXPECT_EQ(testing::control<QLineEdit>(form, "Text1")->text(), QString::fromUtf8("host=ホスト名 user=ユーザー名"));
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(),
            QString::fromUtf8("これは、libzorv.dllの使用サンプルです。詳しくはソースコードをご覧ください。"));
  EXPECT_FALSE(testing::control<QLabel>(form, "Label1")->text().isEmpty());
  EXPECT_EQ(QApplication::focusWidget(), testing::control<QPushButton>(form, "Command1"));
  const char* captions[][2] = {{"Command1", "Open"},  {"Command6", "Exec"},   {"Command2", "Cursor"},
                               {"Command3", "Fetch"}, {"Command7", "Header"}, {"Command4", "Close"},
                               {"Command5", "MsgGet"}, {"Commandx", "End"}};
  for (const auto& [name, caption] : captions) {
    auto* button = form.findChild<QPushButton*>(name);
    EXPECT_EQ(button->text(), caption) << name;
    EXPECT_FALSE(button->isDefault() || button->autoDefault()) << name;
  }
  EXPECT_FALSE(FakeBridge::loaded());
}

TEST_F(WindowTest, TabWalksTheControlsInTabIndexOrderAndLeavesTheAnswerBox) {
  showActive();
  const QString before = testing::control<QPlainTextEdit>(form, "text2")->toPlainText();
  const char* expected[] = {"Commandx", "Text1",    "text2",    "Command2", "Command3",
                            "Command4", "Command5", "Command6", "Command7", "Command1"};
  for (const char* name : expected) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), name);
  }
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), before) << "Tab typed into the answer box";
}

TEST_F(WindowTest, AnswerBoxDoesNotWrapAndShowsBothScrollBars) {
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_GE(testing::control<QLineEdit>(form, "Text1")->maxLength(), 1 << 20) << "the input must take long texts";
}

TEST_F(WindowTest, ScreenReadersGetCaptionsAndNamesForTheTextBoxes) {
  showActive();
  const auto nameOf = [](QWidget* w) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
    return face ? face->text(QAccessible::Name) : QString("<no interface>");
  };
  EXPECT_EQ(nameOf(testing::control<QPushButton>(form, "Command1")), "Open");
  EXPECT_EQ(nameOf(testing::control<QPushButton>(form, "Commandx")), "End");
  EXPECT_EQ(nameOf(testing::control<QLabel>(form, "Label1")), testing::control<QLabel>(form, "Label1")->text());
  testing::control<QLabel>(form, "Label2")->setText("42");
  EXPECT_EQ(nameOf(testing::control<QLabel>(form, "Label2")), "42");
  EXPECT_FALSE(nameOf(testing::control<QLineEdit>(form, "Text1")).isEmpty());
  EXPECT_FALSE(nameOf(testing::control<QPlainTextEdit>(form, "text2")).isEmpty());
  EXPECT_NE(nameOf(testing::control<QLineEdit>(form, "Text1")), nameOf(testing::control<QPlainTextEdit>(form, "text2")));
}

TEST_F(WindowTest, EndStopsAtOnceWithoutLoadingTheBridgeAndIgnoresQueuedClicks) {
  showActive();
  QTest::mouseClick(testing::control<QPushButton>(form, "Commandx"), Qt::LeftButton);
  EXPECT_TRUE(form.hasEnded());
  EXPECT_EQ(form.exitStatus(), 0);
  EXPECT_FALSE(form.isVisible());
  // A click that was already queued behind "End" runs no handler.
  testing::control<QPushButton>(form, "Command1")->click();
  testing::control<QPushButton>(form, "Command3")->click();
  EXPECT_FALSE(FakeBridge::loaded());
  EXPECT_EQ(testing::control<QLabel>(form, "Label2")->text(), "");
}

TEST_F(WindowTest, ClosingTheWindowEndsWithoutABridgeCall) {
  showActive();
  EXPECT_TRUE(form.close());
  EXPECT_TRUE(form.hasEnded());
  EXPECT_EQ(form.exitStatus(), 0);
  EXPECT_FALSE(FakeBridge::loaded());
}

}  // namespace
}  // namespace zorv
