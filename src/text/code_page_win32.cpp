#include "code_page.h"

#include <windows.h>

namespace zorv::platform {

namespace {
// The narrow code page is CP932 whatever the system's own ANSI code page is.
constexpr UINT kCodePage = 932;
}  // namespace

struct CodePageProbe::State {};

CodePageProbe::CodePageProbe() : state_(nullptr) {}
CodePageProbe::~CodePageProbe() = default;

std::optional<std::string> CodePageProbe::encode(char16_t unit) {
  if (unit >= 0xD800 && unit <= 0xDFFF) return std::nullopt;
  const wchar_t in = static_cast<wchar_t>(unit);
  char out[8];
  BOOL usedDefault = FALSE;
  // No best fit: a unit without a real CP932 form must not turn into a
  // look-alike letter; it takes the default character and is reported.
  const int n = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, &in, 1, out, sizeof out, "?",
                                    &usedDefault);
  if (n <= 0 || usedDefault) return std::nullopt;
  return std::string(out, static_cast<size_t>(n));
}

std::optional<char16_t> CodePageProbe::decode(std::string_view bytes) {
  wchar_t out[4];
  const int n = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                    static_cast<int>(bytes.size()), out, 4);
  if (n != 1) return std::nullopt;
  return static_cast<char16_t>(out[0]);
}

}  // namespace zorv::platform
