#include <iconv.h>

#include "system_cp932.h"

namespace {

std::optional<std::string> convert(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string input = in;
  std::string output(in.size() * 4 + 8, '\0');
  char* inPtr = input.data();
  size_t inLeft = input.size();
  char* outPtr = output.data();
  size_t outLeft = output.size();
  const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
  output.resize(output.size() - outLeft);
  return output;
}

}  // namespace

std::optional<std::string> systemCp932ToUtf8(const std::string& cp932) { return convert("UTF-8", "CP932", cp932); }
std::optional<std::string> systemUtf8ToCp932(const std::string& utf8) { return convert("CP932", "UTF-8", utf8); }
