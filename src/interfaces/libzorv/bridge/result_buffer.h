#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "bridge_binding.h"
#include "narrow_text.h"
#include "zorv.h"

namespace zorv {

// The window's one answer buffer: exactly 8192 UTF-16 units, NULs at first,
// never resized. It is the console's only answer state and carries over from
// one answer command to the next.
class ResultBuffer {
 public:
  static constexpr size_t kUnits = ZORV_ANSWER_CAPACITY;

  ResultBuffer() : units_(kUnits, u'\0') {}

  // Hands the narrow copy of all 8192 units to `call` (which gets the copy's
  // address and returns a ResultCode), then makes the wide text back from
  // every byte up to the copy's length and stores it. Nothing changes when
  // `call` throws.
  template <typename Call>
  ResultCode exchange(Call&& call) {
    NarrowCopy copy = narrowCopy(units_);
    const ResultCode code = call(copy.data());
    store(wideText(copy));
    return code;
  }

  // Stores `text` left-aligned: blanks after a shorter text, cut after the
  // 8192nd unit of a longer one.
  void store(std::u16string_view text);

  std::u16string_view units() const { return units_; }
  // What a text box shows of the buffer: its units up to the first NUL.
  std::u16string_view display() const;

 private:
  std::u16string units_;
};

}  // namespace zorv
