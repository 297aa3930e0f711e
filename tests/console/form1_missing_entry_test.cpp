// The console beside a bridge library that lacks ZORVfnames.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "fake_bridge.h"
#include "form1.h"
#include "form_controls.h"

namespace zorv {
namespace {

using testing::FakeBridge;

TEST(MissingEntry, OtherButtonsWorkAndHeaderReportsTheFailureAndEndsWithNothingChanged) {
  Form1 form;
  form.show();
  FakeBridge bridge;
  bridge.script(0, std::string("row\0", 4));
  QTest::mouseClick(testing::control<QPushButton>(form, "Command3"), Qt::LeftButton);
  bridge.script(-2, "");
  QTest::mouseClick(testing::control<QPushButton>(form, "Command2"), Qt::LeftButton);
  ASSERT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), "row");
  ASSERT_EQ(testing::control<QLabel>(form, "Label2")->text(), "-2");
  const std::u16string bufferBefore(form.resultBuffer().units());

  QString report;
  QTimer::singleShot(0, [&report] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    report = box->text();
    box->accept();
  });
  QTest::mouseClick(testing::control<QPushButton>(form, "Command7"), Qt::LeftButton);  // "Header"

  EXPECT_NE(report.indexOf("ZORVfnames"), -1) << report.toStdString();
  EXPECT_NE(report.indexOf("libzorv.so"), -1) << report.toStdString();
  EXPECT_TRUE(form.hasEnded());
  EXPECT_EQ(form.exitStatus(), 1);
  EXPECT_EQ(testing::control<QLabel>(form, "Label2")->text(), "-2");
  EXPECT_EQ(testing::control<QPlainTextEdit>(form, "text2")->toPlainText(), "row");
  EXPECT_EQ(std::u16string(form.resultBuffer().units()), bufferBefore);

  // Nothing more reaches the library after the failure.
  const size_t calls = bridge.callCount();
  QTest::mouseClick(testing::control<QPushButton>(form, "Command3"), Qt::LeftButton);
  QTest::mouseClick(testing::control<QPushButton>(form, "Command4"), Qt::LeftButton);
  EXPECT_EQ(bridge.callCount(), calls);
}

}  // namespace
}  // namespace zorv
