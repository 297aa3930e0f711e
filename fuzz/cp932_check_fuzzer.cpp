// Any bytes as a text argument: the library's CP932 check accepts exactly
// what glibc's converter decodes without error, and converts it to the same
// UTF-8.
#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cp932_codec.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// glibc's own verdict and UTF-8.
bool iconvDecode(const std::string& in, std::string& out) {
  static iconv_t cd = iconv_open("UTF-8", "CP932");
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.assign(in.size() * 3 + 4, '\0');
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  char* dst = out.data();
  size_t room = out.size();
  const bool ok = iconv(cd, &src, &left, &dst, &room) != static_cast<size_t>(-1) && left == 0;
  out.resize(out.size() - room);
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string ours;
  std::string theirs;
  const bool accepted = zorv::Cp932Codec::instance().toUtf8(text, ours);
  check(accepted == iconvDecode(text, theirs));
  if (accepted) check(ours == theirs);
  return 0;
}
