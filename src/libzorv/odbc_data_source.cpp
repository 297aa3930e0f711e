#include "odbc_data_source.h"

#include <algorithm>

#include "odbc_handle.h"
#include "utf_codec.h"

namespace zorv::lib::odbc {

namespace {

// Entries read from either list at most: more than any machine defines.
constexpr int kMaxListed = 4096;
constexpr size_t kNameUnits = 512;
constexpr size_t kAttributeUnits = 8192;

char16_t asciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }

bool sameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return asciiLower(x) == asciiLower(y); });
}

SQLWCHAR* buffer(std::u16string& text) {
  std::fill(text.begin(), text.end(), u'\0');
  return reinterpret_cast<SQLWCHAR*>(text.data());
}

// The value of `key` in a driver's attributes, "key=value" entries each
// ending in NUL, as far as the buffer shows them.
std::u16string_view attribute(std::u16string_view attributes, std::u16string_view key) {
  while (!attributes.empty() && attributes.front() != u'\0') {
    const std::u16string_view entry = attributes.substr(0, attributes.find(u'\0'));
    const size_t equals = entry.find(u'=');
    if (equals != std::u16string_view::npos && sameName(entry.substr(0, equals), key)) {
      return entry.substr(equals + 1);
    }
    attributes.remove_prefix(std::min(attributes.size(), entry.size() + 1));
  }
  return {};
}

// The file of the driver the driver manager lists under `name`, or "".
std::string driverFile(SQLHENV env, std::u16string_view name) {
  std::u16string description(kNameUnits, u'\0');
  std::u16string attributes(kAttributeUnits, u'\0');
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (int i = 0; i < kMaxListed; ++i, direction = SQL_FETCH_NEXT) {
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    const SQLRETURN rc = SQLDriversW(
        env, direction, buffer(description), static_cast<SQLSMALLINT>(description.size() - 1),
        &descriptionLength, buffer(attributes), static_cast<SQLSMALLINT>(attributes.size() - 1),
        &attributesLength);
    if (!SQL_SUCCEEDED(rc)) break;
    if (sameName(untilNul(description, descriptionLength), name)) {
      // The attributes' own NULs end entries: read up to the buffer's end,
      // which stays NUL, not up to the first NUL.
      return utf8FromUtf16(attribute(attributes, u"Driver"));
    }
  }
  return {};
}

}  // namespace

std::optional<DataSourceDriver> findDataSourceDriver(SQLHENV env, std::string_view dataSource) {
  const std::u16string wanted = utf16FromUtf8(dataSource);
  std::u16string name(kNameUnits, u'\0');
  std::u16string driver(kNameUnits, u'\0');
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (int i = 0; i < kMaxListed; ++i, direction = SQL_FETCH_NEXT) {
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT driverLength = 0;
    const SQLRETURN rc = SQLDataSourcesW(
        env, direction, buffer(name), static_cast<SQLSMALLINT>(name.size() - 1), &nameLength,
        buffer(driver), static_cast<SQLSMALLINT>(driver.size() - 1), &driverLength);
    if (!SQL_SUCCEEDED(rc)) break;
    if (!sameName(untilNul(name, nameLength), wanted)) continue;
    const std::u16string_view listed = untilNul(driver, driverLength);
    return DataSourceDriver{utf8FromUtf16(listed), driverFile(env, listed)};
  }
  return std::nullopt;
}

}  // namespace zorv::lib::odbc
