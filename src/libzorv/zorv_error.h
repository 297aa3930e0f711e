#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "zorv.h"

namespace zorv::lib {

// A failure the library reports to the console: the result code to return
// and the message MsgGet answers with (UTF-8, never holding a password).
class ZorvError : public std::runtime_error {
 public:
  ZorvError(int32_t code, const std::string& message)
      : std::runtime_error(message), code_(code) {}

  int32_t code() const { return code_; }

 private:
  int32_t code_;
};

// The result codes, named for C++ from the one list in zorv.h.
inline constexpr int32_t kOk = ZORV_OK;
inline constexpr int32_t kCut = ZORV_CUT;
inline constexpr int32_t kReplaced = ZORV_REPLACED;
inline constexpr int32_t kNoMoreRows = ZORV_NO_MORE_ROWS;
inline constexpr int32_t kNotConnected = ZORV_NOT_CONNECTED;
inline constexpr int32_t kNoCursor = ZORV_NO_CURSOR;
inline constexpr int32_t kConnectFailed = ZORV_CONNECT_FAILED;
inline constexpr int32_t kStatementFailed = ZORV_STATEMENT_FAILED;
inline constexpr int32_t kBadConnectionText = ZORV_BAD_CONNECTION_TEXT;
inline constexpr int32_t kBadText = ZORV_BAD_TEXT;
inline constexpr int32_t kInternal = ZORV_INTERNAL;

}  // namespace zorv::lib
