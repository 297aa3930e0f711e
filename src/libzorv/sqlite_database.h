#pragma once

#include <memory>
#include <string>
#include <vector>

#include "database.h"

struct sqlite3;
struct sqlite3_stmt;

namespace zorv::lib {

// A connection to an embedded SQLite database. Statements run in autocommit
// unless the user begins a transaction; the cursor steps its statement, so
// memory does not grow with the number of rows.
class SqliteDatabase : public Database {
 public:
  enum class Mode { ReadOnly, ReadWrite, ReadWriteCreate };

  // Opens the database at path (":memory:" for a private one) and checks it
  // is readable. Throws ZorvError(kConnectFailed).
  SqliteDatabase(const std::string& path, Mode mode);
  ~SqliteDatabase() override;

  void exec(std::string_view sql, ExecSink& sink) override;
  void openCursor(std::string_view sql) override;
  bool fetch(std::span<const FieldView>& row) override;
  void closeCursor() noexcept override;
  bool hasCursor() const override { return cursor_ != nullptr; }
  const std::vector<std::string>& fieldNames() const override { return names_; }

 private:
  struct CloseDb {
    void operator()(sqlite3* db) const;
  };
  struct Finalize {
    void operator()(sqlite3_stmt* stmt) const;
  };
  using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

  // Prepares the text's only statement; refuses empty texts and texts with a
  // second statement before anything runs.
  Statement prepareOne(std::string_view sql);
  [[noreturn]] void fail(const std::string& context);
  void readRow(sqlite3_stmt* stmt);

  std::unique_ptr<sqlite3, CloseDb> db_;
  Statement cursor_;
  bool cursorDone_ = false;
  std::vector<std::string> names_;
  std::vector<FieldView> row_;
};

}  // namespace zorv::lib
