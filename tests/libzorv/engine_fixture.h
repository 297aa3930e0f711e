#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "test_engine.h"
#include "zorv_library.h"

// CP932 forms of characters whose trail byte is 0x5C, the byte of '\'.
inline const std::string kSo = "\x83\x5C";    // ソ
inline const std::string kHyo = "\x95\x5C";   // 表
inline const std::string kNou = "\x94\x5C";   // 能
inline const std::string kYo = "\x97\x5C";    // 予
inline const std::string kShin = "\x90\x5C";  // 申
// UTF-8 forms of kSo and kHyo, as the databases store them.
inline const std::string kSoUtf8 = "\xE3\x82\xBD";
inline const std::string kHyoUtf8 = "\xE8\xA1\xA8";

// `piece` written `times` times.
inline std::string repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

// Connects the library to a fresh database of the engine under test before
// each test and closes it after: SQLite in a file of its own, PostgreSQL in
// a schema of this process on the test server, natively or through the
// database's ODBC driver.
class EngineFixture : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override;
  void TearDown() override;

  Engine engine() const { return GetParam(); }
  ZorvLibrary& lib() { return ZorvLibrary::instance(); }
  // The engine's form of a statement where the two dialects differ.
  std::string dialect(const std::string& sqlite, const std::string& postgres) const {
    return sqliteDialect(engine()) ? sqlite : postgres;
  }
  // The connection text of this test's database.
  const std::string& connection() const { return connection_; }
  // The connection text directRows takes for this test's database: its
  // SQLite file or PostgreSQL schema, whichever way the library reaches it.
  std::string directConnection() const;
  // Runs a one-integer query over a connection of its own, not the library's.
  long directCount(const std::string& query) const;
  // Runs a statement through the library and expects it to succeed.
  void run(const std::string& statement);

 private:
  std::string connection_;
  std::string sqlitePath_;
  std::string pgConnection_;
};

// Rows of a query run over a connection of its own, not the library's:
// "file=PATH" opens that SQLite file, any other text a PostgreSQL server.
// Fields are UTF-8, NULL as empty; nothing when connecting or the query fails.
using DirectRows = std::vector<std::vector<std::string>>;
std::optional<DirectRows> directRows(const std::string& connection, const std::string& query);

std::string engineParamName(const ::testing::TestParamInfo<Engine>& info);
