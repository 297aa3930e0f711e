#pragma once

#include <cstddef>
#include <string>

// An answer buffer of the console's size followed by a guard area; the
// guard must stay untouched by every call.
class AnswerBuffer {
 public:
  static constexpr size_t kSize = 8192;
  static constexpr size_t kGuard = 256;

  AnswerBuffer();
  char* data() { return bytes_; }
  // The answer up to its NUL; empty when no NUL lies within the buffer.
  std::string text() const;
  bool guardIntact() const;
  bool terminated() const;

 private:
  char bytes_[kSize + kGuard];
};
