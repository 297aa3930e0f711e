#include "record_format.h"

#include "cp932_table.h"
#include "narrow_text.h"
#include "utf_codec.h"

namespace zorv::trace {

namespace {
// Whether every byte is ASCII, which CP932 keeps as it is.
bool plainAscii(std::string_view bytes) {
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}
}  // namespace

Json recordedText(std::string_view bytes) {
  if (plainAscii(bytes) && Cp932Table::instance().asciiIsIdentity()) return std::string(bytes);
  const std::u16string wide = wideText(bytes);
  if (narrowCopy(wide).bytes() == bytes) return utf8FromUtf16(wide);
  static const char* const digits = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    hex += digits[byte >> 4];
    hex += digits[byte & 15];
  }
  return Json{{"hex", std::move(hex)}};
}

void appendRecordedText(std::string& out, std::string_view bytes) {
  out += recordedText(bytes).dump(-1, ' ', false, Json::error_handler_t::replace);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string readRecordedText(const Json& value, std::string& bytes) {
  bytes.clear();
  if (value.is_string()) {
    const std::u16string wide = utf16FromUtf8(value.get_ref<const std::string&>());
    const Cp932Table& table = Cp932Table::instance();
    for (size_t i = 0; i < wide.size(); ++i) {
      if (table.encode(wide[i]) == Cp932Table::kNoForm) {
        return "holds a character with no CP932 form (at " + std::to_string(i) + ")";
      }
    }
    bytes.assign(narrowCopy(wide).bytes());
    return {};
  }
  if (!value.is_object() || value.size() != 1 || !value.contains("hex") ||
      !value["hex"].is_string()) {
    return "is neither a string nor {\"hex\":...}";
  }
  const auto& hex = value["hex"].get_ref<const std::string&>();
  if (hex.size() % 2 != 0) return "has an odd hex length";
  bytes.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = hexDigit(hex[i]), low = hexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return "has no hex digits";
    bytes += static_cast<char>(high << 4 | low);
  }
  return {};
}

std::optional<std::string> bytesOfRecordedText(const Json& value) {
  std::string bytes;
  if (!readRecordedText(value, bytes).empty()) return std::nullopt;
  return bytes;
}

}  // namespace zorv::trace
