#include "form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <map>

#include "bridge_calls.h"
#include "narrow_text.h"

namespace zorv {

namespace {

// Where each control sits, in twips from the client area's top-left corner,
// and its place in the tab order. Labels take no focus; their index only
// keeps the numbering.
struct Placement {
  const char* name;
  int left, top, width, height;
  int tabIndex;
};

constexpr Placement kLayout[] = {
    {"Text1", 120, 120, 7815, 492, 3},     {"Label2", 120, 720, 492, 252, 2},
    {"Command1", 120, 1080, 855, 375, 0},  {"Command6", 1080, 1080, 855, 372, 10},
    {"Command2", 2040, 1080, 855, 372, 5}, {"Command3", 3000, 1080, 855, 372, 6},
    {"Command7", 3960, 1080, 855, 372, 11}, {"Command4", 4920, 1080, 975, 372, 8},
    {"Command5", 6000, 1080, 975, 372, 9}, {"Commandx", 7080, 1080, 975, 375, 1},
    {"text2", 120, 1800, 7815, 3852, 4},   {"Label1", 4800, 5880, 3255, 255, 7},
};
constexpr int kClientWidthTwips = 8115;
constexpr int kClientHeightTwips = 6195;

// 15 twips to a pixel at 96 dots per inch.
int pixels(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

const char16_t* const kConnectionTemplate = u"host=ホスト名 user=ユーザー名";
const char16_t* const kStartNote =
    u"これは、libzorv.dllの使用サンプルです。詳しくはソースコードをご覧ください。";
const char* const kAuthorsNotice = "(C) 2026 The zorv console authors";

QString fromWide(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string_view wideOf(const QString& text) {
  return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())};
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  button->setDefault(false);
  button->setFocusPolicy(Qt::StrongFocus);
  return button;
}

}  // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Velmo Test"));

  Text1 = new QLineEdit(QStringLiteral("Text1"), this);
  Text1->setObjectName(QStringLiteral("Text1"));
  Text1->setAccessibleName(QStringLiteral("Connection or statement text"));
  // Qt caps a line edit at 32767 units unless told otherwise; the input has
  // no limit of its own.
  Text1->setMaxLength(std::numeric_limits<int>::max());

  Label2 = new QLabel(QStringLiteral("Label2"), this);
  Label2->setObjectName(QStringLiteral("Label2"));

  Command1 = makeButton(this, "Command1", "Open");
  Command6 = makeButton(this, "Command6", "Exec");
  Command2 = makeButton(this, "Command2", "Cursor");
  Command3 = makeButton(this, "Command3", "Fetch");
  Command7 = makeButton(this, "Command7", "Header");
  Command4 = makeButton(this, "Command4", "Close");
  Command5 = makeButton(this, "Command5", "MsgGet");
  Commandx = makeButton(this, "Commandx", "End");

  text2 = new QPlainTextEdit(this);
  text2->setObjectName(QStringLiteral("text2"));
  text2->setAccessibleName(QStringLiteral("Answer text"));
  text2->setLineWrapMode(QPlainTextEdit::NoWrap);
  text2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text2->setTabChangesFocus(true);

  Label1 = new QLabel(QString::fromLatin1(kAuthorsNotice), this);
  Label1->setObjectName(QStringLiteral("Label1"));

  placeControls();

  onClick(Command1, &Form1::Command1_Click);
  onClick(Command2, &Form1::Command2_Click);
  onClick(Command3, &Form1::Command3_Click);
  onClick(Command4, &Form1::Command4_Click);
  onClick(Command5, &Form1::Command5_Click);
  onClick(Command6, &Form1::Command6_Click);
  onClick(Command7, &Form1::Command7_Click);
  onClick(Commandx, &Form1::Commandx_Click);

  Form_Load();
}

void Form1::placeControls() {
  resize(pixels(kClientWidthTwips), pixels(kClientHeightTwips));
  std::map<int, QWidget*> focusOrder;
  for (const Placement& p : kLayout) {
    auto* control = findChild<QWidget*>(QString::fromLatin1(p.name), Qt::FindDirectChildrenOnly);
    control->setGeometry(pixels(p.left), pixels(p.top), pixels(p.width), pixels(p.height));
    if (control->focusPolicy() & Qt::TabFocus) focusOrder[p.tabIndex] = control;
  }
  QWidget* previous = nullptr;
  for (const auto& [index, control] : focusOrder) {
    if (previous) setTabOrder(previous, control);
    previous = control;
  }
}

void Form1::onClick(QPushButton* button, void (Form1::*handler)()) {
  connect(button, &QPushButton::clicked, this, [this, handler] {
    // The one edge where a failure stops: after it, and after "End", no
    // handler runs again, even for clicks already queued.
    if (ended_) return;
    try {
      (this->*handler)();
    } catch (const BridgeFailure& failure) {
      fail(QString::fromUtf8(failure.what()));
    } catch (const std::exception& failure) {
      fail(QString::fromUtf8(failure.what()));
    }
  });
}

void Form1::Form_Load() {
  Label2->setText(QString());
  Text1->setText(fromWide(kConnectionTemplate));
  text2->setPlainText(fromWide(kStartNote));
  Command1->setFocus(Qt::OtherFocusReason);
}

// "Open"
void Form1::Command1_Click() {
  const NarrowCopy connection = narrowCopy(wideOf(Text1->text()));
  showResult(bridge::ZORVlogin(connection.data()));
}

// "Cursor"
void Form1::Command2_Click() {
  const NarrowCopy statement = narrowCopy(wideOf(Text1->text()));
  showResult(bridge::ZORVcursor(statement.data()));
}

// "Fetch"
void Form1::Command3_Click() { answerCommand(&bridge::ZORVfetch); }

// "Close"
void Form1::Command4_Click() { showResult(bridge::ZORVclose()); }

// "MsgGet"
void Form1::Command5_Click() { answerCommand(&bridge::ZORVmsgget); }

// "Exec": the statement's copy first, the buffer's copy second.
void Form1::Command6_Click() {
  const NarrowCopy statement = narrowCopy(wideOf(Text1->text()));
  const ResultCode code = resultBuffer_.exchange(
      [&statement](char* buffer) { return bridge::ZORVexec(statement.data(), buffer); });
  showResult(code);
  showBuffer();
}

// "Header"
void Form1::Command7_Click() { answerCommand(&bridge::ZORVfnames); }

// "End": no bridge call on the way out, whatever is open.
void Form1::Commandx_Click() { end(0); }

void Form1::answerCommand(ResultCode (*call)(char*)) {
  const ResultCode code = resultBuffer_.exchange(call);
  showResult(code);
  showBuffer();
}

void Form1::showResult(ResultCode code) {
  Label2->setText(QString::number(code));
  // A long code widens the label rather than hide its digits; nothing sits
  // to its right.
  Label2->resize(std::max(pixels(492), Label2->sizeHint().width()), Label2->height());
}

void Form1::showBuffer() { text2->setPlainText(fromWide(resultBuffer_.display())); }

void Form1::fail(const QString& reason) {
  ended_ = true;
  QMessageBox::critical(this, windowTitle(),
                        QStringLiteral("The bridge library cannot be used; the console ends.\n\n") +
                            reason);
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
