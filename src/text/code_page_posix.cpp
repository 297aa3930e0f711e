#include "code_page.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace zorv::platform {

struct CodePageProbe::State {
  iconv_t toNarrow = reinterpret_cast<iconv_t>(-1);
  iconv_t toWide = reinterpret_cast<iconv_t>(-1);
  // Every unit's form from one bulk conversion (length 0: no form), or
  // empty when the bulk conversion could not be trusted.
  std::vector<std::array<char, 3>> forms;
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

// Converts the whole of `in` in one call; false when iconv rejects any of it.
// Both sides are stateless encodings, so a conversion that succeeded leaves
// the initial state behind and needs no flush; one that failed may have
// stopped inside a character, so the state is reset for the next probe.
bool convert(iconv_t cd, const char* in, size_t inLen, char* out, size_t& outLen) {
  char* src = const_cast<char*>(in);
  char* dst = out;
  size_t left = inLen;
  size_t room = outLen;
  if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1) || left != 0) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return false;
  }
  outLen = outLen - room;
  return true;
}

// The form of one unit, converted alone.
std::optional<std::string> encodeOne(iconv_t cd, char16_t unit) {
  const char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  char out[8];
  size_t outLen = sizeof out;
  if (!convert(cd, in, sizeof in, out, outLen) || outLen == 0) return std::nullopt;
  return std::string(out, outLen);
}

// The one unit whose form separates the others in a bulk conversion: a
// byte that is neither a lead nor a trail byte, so it cannot hide inside a
// double-byte form.
constexpr char16_t kSeparator = u'\n';

bool bulkCandidate(uint32_t unit) {
  return unit != 0 && unit != kSeparator && (unit < 0xD800 || unit > 0xDFFF);
}

// The forms of every unit in one conversion of "unit, separator, unit,
// separator, ..." with unconvertible units skipped by the converter, instead
// of some 65,000 conversions of one unit each (each costs far more than the
// unit). The form of a unit is what lies between its separators. Returns
// nothing when anything is not as expected; the caller then asks unit by
// unit.
std::vector<std::array<char, 3>> bulkForms(const std::optional<std::string>& separatorForm) {
  if (separatorForm != std::string(1, '\n')) return {};
  iconv_t cd = iconv_open("CP932//IGNORE", "UTF-16LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::vector<char> in;
  in.reserve(65536 * 4);
  for (uint32_t unit = 0; unit < 65536; ++unit) {
    if (!bulkCandidate(unit)) continue;
    for (const char16_t u : {static_cast<char16_t>(unit), kSeparator}) {
      in.push_back(static_cast<char>(u & 0xFF));
      in.push_back(static_cast<char>(u >> 8));
    }
  }
  std::vector<char> out(in.size() * 2);
  char* src = in.data();
  size_t left = in.size();
  char* dst = out.data();
  size_t room = out.size();
  bool ok = true;
  while (ok && left != 0) {
    const char* before = src;
    // With //IGNORE a call reports EILSEQ once it has skipped something, yet
    // goes on; a call that moves no further is an error.
    if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1)) {
      ok = errno == EILSEQ && src != before;
    }
  }
  iconv_close(cd);
  if (!ok) return {};

  std::vector<std::array<char, 3>> forms(65536, std::array<char, 3>{});
  const char* p = out.data();
  const char* const end = dst;
  for (uint32_t unit = 0; unit < 65536; ++unit) {
    if (!bulkCandidate(unit)) continue;
    size_t length = 0;
    while (p != end && *p != '\n') {
      if (length == 2) return {};  // no CP932 form is longer
      forms[unit][length++] = *p++;
    }
    if (p == end) return {};  // a separator went missing
    ++p;
    forms[unit][2] = static_cast<char>(length);
  }
  if (p != end) return {};
  return forms;
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
  state_->forms = bulkForms(encodeOne(state_->toNarrow, kSeparator));
}

CodePageProbe::~CodePageProbe() {
  iconv_close(state_->toNarrow);
  iconv_close(state_->toWide);
  delete state_;
}

std::optional<std::string> CodePageProbe::encode(char16_t unit) {
  if (unit >= 0xD800 && unit <= 0xDFFF) return std::nullopt;
  if (bulkCandidate(unit) && !state_->forms.empty()) {
    const auto& form = state_->forms[unit];
    if (form[2] == 0) return std::nullopt;
    return std::string(form.data(), static_cast<size_t>(form[2]));
  }
  return encodeOne(state_->toNarrow, unit);
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
