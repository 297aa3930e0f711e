#pragma once

#include <QWidget>

#include <functional>
#include <string>

#include "form_handlers.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zorv {

// The console's one window: an input box, eight buttons, the result label
// and the answer box. Each button but "End" calls one bridge function; every
// widget is touched only here.
class Form1 : public QWidget, public FormHandlers<Form1> {
  Q_OBJECT

 public:
  explicit Form1(QWidget* parent = nullptr);

  // Whether the program has been told to end, and with which exit status.
  bool hasEnded() const { return ended_; }
  int exitStatus() const { return exitStatus_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  friend class FormHandlers<Form1>;

  void Form_Load();

  void createControls();
  // Wires a button to a handler run through the failure edge. A lambda, not
  // a pointer to a member of the handlers' base: the undefined-behaviour
  // sanitizer's vptr check misreads a call through such a pointer.
  void onClick(QPushButton* button, std::function<void()> handler);
  std::u16string input() const;
  void showResult(ResultCode code);
  void showText2(std::u16string_view text);
  void fail(const std::string& report);
  void end(int status);

  // The controls, named as the window's table names them; tests find them
  // by their object names.
  QLineEdit* Text1;
  QPlainTextEdit* text2;
  QLabel* Label1;
  QLabel* Label2;
  QPushButton* Command1;  // "Open"
  QPushButton* Command2;  // "Cursor"
  QPushButton* Command3;  // "Fetch"
  QPushButton* Command4;  // "Close"
  QPushButton* Command5;  // "MsgGet"
  QPushButton* Command6;  // "Exec"
  QPushButton* Command7;  // "Header"
  QPushButton* Commandx;  // "End"

  bool ended_ = false;
  int exitStatus_ = 0;
};

}  // namespace zorv
