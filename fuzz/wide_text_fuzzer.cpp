// Any bytes back from a library: the wide text never reads past them, never
// makes more units than bytes, keeps every NUL byte as a NUL unit, and
// narrows again to no more bytes than it came from, but for replacements.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cp932_table.h"
#include "narrow_text.h"

namespace {
void check(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly `size` bytes, so any read past the end is caught.
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string wide = zorv::wideText(std::string_view(bytes));
  check(wide.size() <= size);
  size_t nulBytes = 0;
  for (char c : bytes) nulBytes += c == '\0';
  size_t nulUnits = 0;
  for (char16_t u : wide) nulUnits += u == u'\0';
  check(nulUnits == nulBytes);
  // Every decoded character narrows back to no more bytes than it came
  // from; a replacement (two bytes) may stand for a single bad byte.
  size_t replacements = 0;
  for (char16_t u : wide) replacements += u == zorv::Cp932Table::kReplacement;
  check(zorv::narrowCopy(wide).length() <= size + replacements);
  return 0;
}
