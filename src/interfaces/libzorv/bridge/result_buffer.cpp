#include "result_buffer.h"

#include <algorithm>

namespace zorv {

void ResultBuffer::store(std::u16string_view text) {
  const size_t kept = std::min(text.size(), kUnits);
  std::copy_n(text.begin(), kept, units_.begin());
  std::fill(units_.begin() + static_cast<std::ptrdiff_t>(kept), units_.end(), u' ');
}

std::u16string_view ResultBuffer::display() const {
  const std::u16string_view all(units_);
  return all.substr(0, all.find(u'\0'));
}

}  // namespace zorv
