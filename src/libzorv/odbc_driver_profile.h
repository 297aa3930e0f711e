#pragma once

#include <span>
#include <string_view>

#include "odbc_api.h"

namespace zorv::lib::odbc {

// The drivers whose differences the engine evens out.
enum class DriverKind { Postgres, Sqlite, Other };

// How a cursor is kept from writing.
enum class ReadOnlyMethod {
  // A read-only transaction of its own, or a savepoint rolled back at its end
  // inside the user's transaction (and then only a plain query).
  Transaction,
  // PRAGMA query_only while the cursor is open.
  QueryOnly,
  // Only a plain query, with the access mode set read-only as a hint.
  PlainQuery,
};

// A connection string option added when the user's string lacks its key.
struct DriverOption {
  const char* key;
  const char* value;
};

// What the engine does differently for one driver; chosen once per
// connection, from the driver's name, and read by the row reader and the
// cursor's guard instead of the name.
struct DriverProfile {
  DriverKind kind = DriverKind::Other;
  // Options that keep the driver's memory flat and its calls bounded.
  std::span<const DriverOption> options;
  // Text columns are bound as SQL_C_CHAR: the driver's narrow text is the
  // stored UTF-8, which spares a conversion and an allocation per value.
  bool narrowText = false;
  // Integer columns (smallint, integer, bigint) are bound as 64-bit numbers,
  // whose decimal form is the driver's text for them.
  bool integersAsNumbers = false;
  // A bare VALUES runs as SELECT * FROM (VALUES ...): the driver answers rows
  // only for what it sees as a query.
  bool valuesAsSubquery = false;
  ReadOnlyMethod readOnly = ReadOnlyMethod::PlainQuery;

  // Whether a column of SQL type `type` is bound as a 64-bit integer.
  bool bindsAsInteger(SQLSMALLINT type) const {
    return integersAsNumbers && (type == SQL_SMALLINT || type == SQL_INTEGER || type == SQL_BIGINT);
  }
};

// The profile of the driver called `name` (its SQL_DRIVER_NAME, its file or
// its name in the driver manager's list; case does not matter).
// `narrowTextIsUtf8` is the platform's answer (odbc_locale.h): narrow text is
// bound only where it is the stored UTF-8.
DriverProfile profileForDriver(std::string_view name, bool narrowTextIsUtf8);

}  // namespace zorv::lib::odbc
