#include <windows.h>

#include "system_cp932.h"

namespace {

std::optional<std::wstring> wide(UINT codePage, const std::string& in) {
  if (in.empty()) return std::wstring();
  std::wstring out(in.size() + 1, L'\0');
  const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()),
                                    out.data(), static_cast<int>(out.size()));
  if (n <= 0) return std::nullopt;
  out.resize(static_cast<size_t>(n));
  return out;
}

std::optional<std::string> narrow(UINT codePage, const std::wstring& in) {
  if (in.empty()) return std::string();
  std::string out(in.size() * 4 + 4, '\0');
  BOOL usedDefault = FALSE;
  const bool utf8 = codePage == CP_UTF8;
  const int n = WideCharToMultiByte(codePage, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, in.data(),
                                    static_cast<int>(in.size()), out.data(), static_cast<int>(out.size()),
                                    utf8 ? nullptr : "?", utf8 ? nullptr : &usedDefault);
  if (n <= 0 || usedDefault) return std::nullopt;
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace

std::optional<std::string> systemCp932ToUtf8(const std::string& cp932) {
  const auto units = wide(932, cp932);
  return units ? narrow(CP_UTF8, *units) : std::nullopt;
}

std::optional<std::string> systemUtf8ToCp932(const std::string& utf8) {
  const auto units = wide(CP_UTF8, utf8);
  return units ? narrow(932, *units) : std::nullopt;
}
