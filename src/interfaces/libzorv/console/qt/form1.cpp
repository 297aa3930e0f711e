#include "form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <limits>
#include <map>

#include "console_texts.h"
#include "failure_report.h"
#include "layout.h"

namespace zorv {

namespace {

using layout::pixels;

QString fromWide(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* makeControl(QWidget* parent, const layout::Placement& p) {
  const QString caption = QString::fromUtf8(p.caption);
  QWidget* control = nullptr;
  switch (p.kind) {
    case layout::Kind::kSingleLineText: {
      auto* edit = new QLineEdit(caption, parent);
      // Qt caps a line edit at 32767 units unless told otherwise; the input
      // has no limit of its own.
      edit->setMaxLength(std::numeric_limits<int>::max());
      edit->setAccessibleName(fromWide(texts::kInputName));
      control = edit;
      break;
    }
    case layout::Kind::kMultiLineText: {
      auto* edit = new QPlainTextEdit(caption, parent);
      edit->setAccessibleName(fromWide(texts::kAnswerName));
      edit->setLineWrapMode(QPlainTextEdit::NoWrap);
      edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      edit->setTabChangesFocus(true);
      control = edit;
      break;
    }
    case layout::Kind::kLabel:
      control = new QLabel(caption, parent);
      break;
    case layout::Kind::kButton: {
      auto* button = new QPushButton(caption, parent);
      button->setAutoDefault(false);
      button->setDefault(false);
      button->setFocusPolicy(Qt::StrongFocus);
      control = button;
      break;
    }
  }
  control->setObjectName(QString::fromLatin1(p.name));
  control->setGeometry(pixels(p.left), pixels(p.top), pixels(p.width), pixels(p.height));
  return control;
}

}  // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(fromWide(texts::kWindowTitle));
  createControls();

  Text1 = findChild<QLineEdit*>(QStringLiteral("Text1"));
  text2 = findChild<QPlainTextEdit*>(QStringLiteral("text2"));
  Label1 = findChild<QLabel*>(QStringLiteral("Label1"));
  Label2 = findChild<QLabel*>(QStringLiteral("Label2"));
  Command1 = findChild<QPushButton*>(QStringLiteral("Command1"));
  Command2 = findChild<QPushButton*>(QStringLiteral("Command2"));
  Command3 = findChild<QPushButton*>(QStringLiteral("Command3"));
  Command4 = findChild<QPushButton*>(QStringLiteral("Command4"));
  Command5 = findChild<QPushButton*>(QStringLiteral("Command5"));
  Command6 = findChild<QPushButton*>(QStringLiteral("Command6"));
  Command7 = findChild<QPushButton*>(QStringLiteral("Command7"));
  Commandx = findChild<QPushButton*>(QStringLiteral("Commandx"));

  onClick(Command1, [this] { Command1_Click(); });
  onClick(Command2, [this] { Command2_Click(); });
  onClick(Command3, [this] { Command3_Click(); });
  onClick(Command4, [this] { Command4_Click(); });
  onClick(Command5, [this] { Command5_Click(); });
  onClick(Command6, [this] { Command6_Click(); });
  onClick(Command7, [this] { Command7_Click(); });
  onClick(Commandx, [this] { Commandx_Click(); });

  Form_Load();
}

// Every control from the layout table, in the table's order, then the tab
// order from the table's tab indexes.
void Form1::createControls() {
  resize(pixels(layout::kClientWidthTwips), pixels(layout::kClientHeightTwips));
  std::map<int, QWidget*> focusOrder;
  for (const layout::Placement& p : layout::kControls) {
    QWidget* control = makeControl(this, p);
    if (control->focusPolicy() & Qt::TabFocus) focusOrder[p.tabIndex] = control;
  }
  QWidget* previous = nullptr;
  for (const auto& [index, control] : focusOrder) {
    if (previous) setTabOrder(previous, control);
    previous = control;
  }
}

void Form1::onClick(QPushButton* button, std::function<void()> handler) {
  connect(button, &QPushButton::clicked, this, [this, handler = std::move(handler)] {
    // After a failure, and after "End", no handler runs again, even for
    // clicks already queued.
    if (ended_) return;
    if (auto report = failureOf(handler)) fail(*report);
  });
}

void Form1::Form_Load() {
  Label2->setText(QString());
  Text1->setText(fromWide(texts::kConnectionTemplate));
  text2->setPlainText(fromWide(texts::kStartNote));
  Command1->setFocus(Qt::OtherFocusReason);
}

std::u16string Form1::input() const {
  const QString text = Text1->text();
  return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())};
}

void Form1::showResult(ResultCode code) {
  Label2->setText(QString::number(code));
  // A long code widens the label rather than hide its digits; nothing sits
  // to its right.
  Label2->resize(std::max(pixels(492), Label2->sizeHint().width()), Label2->height());
}

void Form1::showText2(std::u16string_view text) { text2->setPlainText(fromWide(text)); }

void Form1::fail(const std::string& report) {
  ended_ = true;
  QMessageBox::critical(this, windowTitle(), QString::fromStdString(report));
  end(1);
}

void Form1::end(int status) {
  ended_ = true;
  exitStatus_ = status;
  QCoreApplication::exit(status);
  hide();
}

void Form1::closeEvent(QCloseEvent* event) {
  ended_ = true;
  event->accept();
}

}  // namespace zorv
