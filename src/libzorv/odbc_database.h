#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "database.h"

namespace zorv::lib {

namespace odbc {
class Handle;
struct Diagnostics;
}

// A connection through an ODBC driver, W functions only. Every value is read
// as UTF-16 and converted here, so every driver's text reaches the console
// through the same CP932 table. Cursors read blocks of rows into bound
// arrays; a value longer than its slot is read again whole in pieces.
//
// Known drivers are evened out: their streaming and keepalive options are
// added when the user's string lacks them, and a cursor is kept read-only by
// the database itself (a read-only transaction on PostgreSQL, query_only on
// SQLite). With any other driver a cursor refuses statements without columns.
class OdbcDatabase : public Database {
 public:
  // Connects once with SQLDriverConnectW, no prompt: a data source's driver
  // is looked up in the driver manager's lists first, so its options go into
  // that one login. The completed connection string the driver could hand
  // back is never asked for, and every copy made here is wiped, so no copy of
  // a password outlives the call. Throws ZorvError(kConnectFailed).
  explicit OdbcDatabase(std::string_view connection);
  ~OdbcDatabase() override;

  void exec(std::string_view sql, ExecSink& sink) override;
  void openCursor(std::string_view sql) override;
  bool fetch(std::span<const FieldView>& row) override;
  void closeCursor() noexcept override;
  bool execEndsCursor() const override { return reader_ != nullptr; }
  bool hasCursor() const override { return cursorOpen_; }
  const std::vector<std::string>& fieldNames() const override { return names_; }
  std::string takeNotice() override;
  bool hasNotice() const override { return !notice_.empty(); }

  // The drivers whose differences the engine evens out.
  enum class Driver { Postgres, Sqlite, Other };

 private:
  class RowReader;  // odbc_row_reader.h
  // What keeps a cursor from writing: a read-only transaction of its own or
  // a savepoint in the user's (PostgreSQL), query_only (SQLite), the access
  // mode (any other driver, a hint beside the check of the statement's words).
  enum class Guard { None, OwnTransaction, Savepoint, QueryOnly, AccessMode };

  void connect(std::string_view connection);
  // The one place a return code is judged: success and no-data pass, a
  // warning's text becomes the notice, anything else throws ZorvError with
  // the handle's diagnostics (kConnectFailed when the connection is gone).
  int16_t check(int16_t rc, const odbc::Handle& handle);
  bool connectionDead() const;
  std::unique_ptr<odbc::Handle> newStatement();
  // Runs one of the engine's own guard statements (a pragma, a savepoint);
  // false with its SQLSTATE when it fails (a lost connection throws).
  bool runGuardStatement(std::string_view sql, odbc::Diagnostics* failure = nullptr);
  // Makes what the cursor is about to run read-only; undone by endGuard.
  void beginGuard(std::string_view statement);
  void beginReadOnlyTransaction(std::string_view statement);
  // Ends the guard; when a clean-up call fails the connection is dropped,
  // so no later statement can run in a transaction nobody will commit.
  void endGuard() noexcept;
  // Disconnects (rolling back) after a clean-up call failed; the reason
  // names the failed call and is what requireConnection throws.
  void dropConnection(const std::string& reason) noexcept;
  // Throws ZorvError(kConnectFailed) once the connection was dropped.
  void requireConnection() const;
  bool setConnectionOption(int32_t attribute, uintptr_t value);
  // Ends the cursor's statement and its guard.
  void releaseStatement() noexcept;

  std::unique_ptr<odbc::Handle> env_;
  std::unique_ptr<odbc::Handle> dbc_;
  Driver driver_ = Driver::Other;
  uint32_t getDataExtensions_ = 0;
  std::string notice_;
  std::string dropped_;  // why the connection was dropped

  bool cursorOpen_ = false;
  Guard guard_ = Guard::None;
  std::vector<std::string> names_;
  std::unique_ptr<RowReader> reader_;
};

}  // namespace zorv::lib
