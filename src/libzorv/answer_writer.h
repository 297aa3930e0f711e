#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "cp932_codec.h"
#include "field_view.h"
#include "zorv_error.h"

namespace zorv::lib {

// Builds one answer in the console's buffer: CP932 from the first byte, at
// most kLimit bytes followed by a NUL, never a byte past the kCapacity-th.
// The buffer always holds a NUL-ended answer, also between calls.
class AnswerWriter {
 public:
  static constexpr size_t kCapacity = ZORV_ANSWER_CAPACITY;
  static constexpr size_t kLimit = kCapacity - 1;

  // Starts the empty answer in buf.
  explicit AnswerWriter(char* buf) : codec_(Cp932Codec::instance()), buf_(buf) { buf_[0] = '\0'; }

  // Appends the CP932 form of UTF-8 text, cutting before the first character
  // that does not fit; false (and marked cut) when it did not fit whole.
  bool appendText(std::string_view utf8);
  // Appends fields separated by TAB, NULL as empty; false when cut.
  bool appendFields(std::span<const FieldView> fields);
  // Appends fields as one line ended by CR LF, whole or not at all; only the
  // answer's first line, when too long, is kept cut at a character boundary.
  // False when the line did not fit whole.
  bool appendLine(std::span<const FieldView> fields);
  // Drops everything written and starts the empty answer again.
  void clear();

  size_t size() const { return size_; }
  bool cut() const { return cut_; }
  bool replaced() const { return replaced_; }
  // kCut when cut, kReplaced when some character became '?', else kOk.
  int32_t code() const {
    if (cut_) return kCut;
    return replaced_ ? kReplaced : kOk;
  }

 private:
  bool appendByte(char byte);
  void truncateTo(size_t size);

  const Cp932Codec& codec_;
  char* buf_;
  size_t size_ = 0;
  bool cut_ = false;
  bool replaced_ = false;
};

}  // namespace zorv::lib
