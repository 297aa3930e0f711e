#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "odbc_api.h"

namespace zorv::lib::odbc {

// What the driver manager lists for a data source: the driver it names (a
// driver's name or its file), and, when that name is among the drivers the
// driver manager lists, that driver's file.
struct DataSourceDriver {
  std::string name;
  std::string file;
};

// The driver of the data source `dataSource` (names compared without regard
// to ASCII case), from the driver manager's own lists (SQLDataSourcesW,
// SQLDriversW) of the environment `env`; nothing when it is not listed. Each
// list is read only so far, each entry only as long as a buffer holds.
std::optional<DataSourceDriver> findDataSourceDriver(SQLHENV env, std::string_view dataSource);

}  // namespace zorv::lib::odbc
