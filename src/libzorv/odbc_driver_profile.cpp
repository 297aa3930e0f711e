#include "odbc_driver_profile.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace zorv::lib::odbc {

namespace {

constexpr DriverOption kPostgresOptions[] = {
    // Read a result through a server-side cursor, 1,000 rows per round trip,
    // instead of all of it into memory.
    {"UseDeclareFetch", "1"},
    {"Fetch", "1000"},
    // The driver's query timeout is the server's: TCP keepalives notice a
    // server or network that vanished.
    {"KeepaliveTime", "10"},
    {"KeepaliveInterval", "5"},
    // Values as stored: the driver's Windows default turns LF into CR LF.
    {"LFConversion", "0"},
};

constexpr DriverOption kSqliteOptions[] = {
    // Step the statement row by row instead of reading all of it first.
    {"StepAPI", "1"},
    // Wait for another process's lock as long as the native engine does.
    {"Timeout", "5000"},
};

DriverKind kindNamed(std::string_view name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  if (lower.find("psql") != std::string::npos || lower.find("postgres") != std::string::npos) {
    return DriverKind::Postgres;
  }
  if (lower.find("sqlite") != std::string::npos) return DriverKind::Sqlite;
  return DriverKind::Other;
}

}  // namespace

DriverProfile profileForDriver(std::string_view name, bool narrowTextIsUtf8) {
  DriverProfile profile;
  profile.kind = kindNamed(name);
  switch (profile.kind) {
    case DriverKind::Postgres:
      profile.options = kPostgresOptions;
      // Its integer text is the number in decimal either way, and reading it
      // as text costs the driver an allocation and a conversion per value.
      profile.integersAsNumbers = true;
      profile.readOnly = ReadOnlyMethod::Transaction;
      break;
    case DriverKind::Sqlite:
      profile.options = kSqliteOptions;
      // A column declared INTEGER may hold any value: integers stay text.
      profile.narrowText = narrowTextIsUtf8;
      profile.valuesAsSubquery = true;
      profile.readOnly = ReadOnlyMethod::QueryOnly;
      break;
    case DriverKind::Other:
      break;
  }
  return profile;
}

}  // namespace zorv::lib::odbc
