#pragma once

#include <string_view>

#include "bridge_binding.h"
#include "result_buffer.h"

namespace zorv {

// What each bridge button does, toolkit-free: the text commands take the
// input box's UTF-16 text, make its narrow copy and call one bridge
// function; the answer commands exchange the one ResultBuffer. Each returns
// the library's ResultCode unchanged and throws BridgeFailure before calling
// anything when the library or its entry cannot be used.
class BridgeCommands {
 public:
  ResultCode open(std::u16string_view connection);     // "Open"
  ResultCode cursor(std::u16string_view statement);    // "Cursor"
  ResultCode close();                                  // "Close"
  ResultCode fetch();                                  // "Fetch"
  ResultCode msgGet();                                 // "MsgGet"
  ResultCode exec(std::u16string_view statement);      // "Exec"
  ResultCode header();                                 // "Header"

  // What the answer box shows after an answer command.
  std::u16string_view answer() const { return resultBuffer_.display(); }
  const ResultBuffer& resultBuffer() const { return resultBuffer_; }

 private:
  ResultBuffer resultBuffer_;
};

}  // namespace zorv
