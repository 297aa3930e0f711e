#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

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

// The result codes, the same numbers as zorv.h lists.
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kCut = 1;
inline constexpr int32_t kReplaced = 2;
inline constexpr int32_t kNoMoreRows = 100;
inline constexpr int32_t kNotConnected = -1;
inline constexpr int32_t kNoCursor = -2;
inline constexpr int32_t kConnectFailed = -3;
inline constexpr int32_t kStatementFailed = -4;
inline constexpr int32_t kBadConnectionText = -5;
inline constexpr int32_t kBadText = -6;
inline constexpr int32_t kInternal = -9;

}  // namespace zorv::lib
