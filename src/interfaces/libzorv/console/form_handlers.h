#pragma once

#include <string>

#include "bridge_commands.h"

namespace zorv {

// The window's click handlers, once for every toolkit: each a straight
// sequence from the input box through one bridge command to the label and
// the answer box. `Form` is the toolkit's Form1, deriving from this, and
// gives `input()` (Text1's text), `showResult(code)` (Label2),
// `showText2(text)` and `end(status)`. A failure leaves a handler as a throw,
// for the toolkit's one failure edge.
template <typename Form>
class FormHandlers {
 public:
  const ResultBuffer& resultBuffer() const { return commands_.resultBuffer(); }

 protected:
  // "Open"
  void Command1_Click() { form().showResult(commands_.open(form().input())); }
  // "Cursor"
  void Command2_Click() { form().showResult(commands_.cursor(form().input())); }
  // "Fetch"
  void Command3_Click() { showAnswer(commands_.fetch()); }
  // "Close"
  void Command4_Click() { form().showResult(commands_.close()); }
  // "MsgGet"
  void Command5_Click() { showAnswer(commands_.msgGet()); }
  // "Exec"
  void Command6_Click() { showAnswer(commands_.exec(form().input())); }
  // "Header"
  void Command7_Click() { showAnswer(commands_.header()); }
  // "End": no bridge call on the way out, whatever is open.
  void Commandx_Click() { form().end(0); }

 private:
  Form& form() { return static_cast<Form&>(*this); }
  void showAnswer(ResultCode code) {
    form().showResult(code);
    form().showText2(commands_.answer());
  }

  BridgeCommands commands_;
};

}  // namespace zorv
