#include "code_page.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace zorv::platform {

struct CodePageProbe::State {
  iconv_t toNarrow = reinterpret_cast<iconv_t>(-1);
  iconv_t toWide = reinterpret_cast<iconv_t>(-1);
};

namespace {

iconv_t openConverter(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to +
                             ": " + std::strerror(errno));
  }
  return cd;
}

// Runs one complete conversion of `in`; false when iconv rejects any of it.
bool convert(iconv_t cd, const char* in, size_t inLen, char* out, size_t& outLen) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  char* src = const_cast<char*>(in);
  char* dst = out;
  size_t left = inLen;
  size_t room = outLen;
  if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1) || left != 0) return false;
  if (iconv(cd, nullptr, nullptr, &dst, &room) == static_cast<size_t>(-1)) return false;
  outLen = outLen - room;
  return true;
}

}  // namespace

CodePageProbe::CodePageProbe() : state_(new State) {
  try {
    state_->toNarrow = openConverter("CP932", "UTF-16LE");
    state_->toWide = openConverter("UTF-16LE", "CP932");
  } catch (...) {
    if (state_->toNarrow != reinterpret_cast<iconv_t>(-1)) iconv_close(state_->toNarrow);
    delete state_;
    throw;
  }
}

CodePageProbe::~CodePageProbe() {
  iconv_close(state_->toNarrow);
  iconv_close(state_->toWide);
  delete state_;
}

std::optional<std::string> CodePageProbe::encode(char16_t unit) {
  if (unit >= 0xD800 && unit <= 0xDFFF) return std::nullopt;
  const char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  char out[8];
  size_t outLen = sizeof out;
  if (!convert(state_->toNarrow, in, sizeof in, out, outLen) || outLen == 0) return std::nullopt;
  return std::string(out, outLen);
}

std::optional<char16_t> CodePageProbe::decode(std::string_view bytes) {
  char out[8];
  size_t outLen = sizeof out;
  if (!convert(state_->toWide, bytes.data(), bytes.size(), out, outLen) || outLen != 2) {
    return std::nullopt;
  }
  return static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                               (static_cast<unsigned char>(out[1]) << 8));
}

}  // namespace zorv::platform
