// Any UTF-16 text in: the narrow copy gives every unit one or two bytes and
// a closing NUL, and a text of units that CP932 maps both ways comes back
// unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cp932_table.h"
#include "narrow_text.h"

namespace {
void check(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string wide(size / 2, u'\0');
  std::memcpy(wide.data(), data, wide.size() * 2);
  const zorv::Cp932Table& table = zorv::Cp932Table::instance();

  const zorv::NarrowCopy copy = zorv::narrowCopy(wide);
  check(copy.data()[copy.length()] == '\0');
  size_t expected = 0;
  std::u16string mappable;
  for (char16_t unit : wide) {
    const uint16_t packed = table.encode(unit);
    expected += packed != zorv::Cp932Table::kNoForm && packed > 0xFF ? 2 : 1;
    if (packed == zorv::Cp932Table::kNoForm) continue;
    const zorv::NarrowCopy one = zorv::narrowCopy(std::u16string_view(&unit, 1));
    if (zorv::wideText(one) == std::u16string(1, unit)) mappable += unit;
  }
  check(copy.length() == expected);
  check(copy.length() >= wide.size());

  const std::u16string back = zorv::wideText(copy);
  check(back.size() <= copy.length());
  check(zorv::wideText(zorv::narrowCopy(mappable)) == mappable);
  return 0;
}
