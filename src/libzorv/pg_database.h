#pragma once

#include <memory>
#include <string>
#include <vector>

#include "connection_text.h"
#include "database.h"
#include "spill_file.h"

struct pg_conn;
struct pg_result;

namespace zorv::lib {

// A connection to a PostgreSQL server. Every statement goes through the
// extended protocol, which runs one statement per message, so a second
// statement hidden in a text never runs.
//
// The cursor is a server-side cursor read in batches. Opened outside a user
// transaction it lives in a read-only transaction of its own; before Exec runs
// anything, the session has the rows the server still holds moved to a
// temporary file (readRest), which ends that transaction, so Exec's statement
// commits at once.
class PgDatabase : public Database {
 public:
  // Throws ZorvError(kBadConnectionText) for a keyword the client library
  // does not know; changes nothing.
  static void checkKeywords(const std::vector<ConnectionOption>& options);

  // Connects with the options as given, except that the client encoding is
  // always UTF8 and connect_timeout defaults to 10 seconds.
  // Throws ZorvError(kConnectFailed).
  explicit PgDatabase(const std::vector<ConnectionOption>& options);
  ~PgDatabase() override;

  void exec(std::string_view sql, ExecSink& sink) override;
  void openCursor(std::string_view sql) override;
  bool fetch(std::span<const FieldView>& row) override;
  void closeCursor() noexcept override;
  bool execEndsCursor() const override { return serverOpen_; }
  void readRest(SpillFile& spill) override;
  bool hasCursor() const override { return cursorOpen_; }
  const std::vector<std::string>& fieldNames() const override { return names_; }
  std::string takeNotice() override;
  bool hasNotice() const override { return !notice_.empty(); }

 private:
  struct Finish {
    void operator()(pg_conn* conn) const;
  };
  struct Clear {
    void operator()(pg_result* result) const;
  };
  using Result = std::unique_ptr<pg_result, Clear>;

  static void onNotice(void* self, const char* message);

  // Runs one fixed statement and returns its result, or throws.
  Result run(const std::string& sql);
  // Throws for a failed result: kConnectFailed when the connection is gone.
  void check(const pg_result* result, int wanted);
  [[noreturn]] void failWith(const std::string& message);
  // Reads the next batch of the server cursor into batch_ and asks for the
  // one after it, so the server works while the console reads.
  void fetchBatch(int rows);
  void sendFetch(int rows);
  Result receiveFetch();
  // Reads and drops the result of a FETCH in flight.
  void discardFetch() noexcept;
  // Ends the server cursor's life on the server (its transaction or itself).
  void endServerCursor();
  void ensureUtf8();
  // Inside the cursor's transaction: checks the text is one query that
  // returns columns and declares the server cursor over it. Throws.
  void declareCursor(const std::string& text);
  // Rolls back the cursor's own transaction, if any, after a failure.
  void abandonOwnTransaction() noexcept;

  std::unique_ptr<pg_conn, Finish> conn_;
  std::string notice_;

  bool cursorOpen_ = false;
  bool serverOpen_ = false;       // the server cursor exists
  bool ownTransaction_ = false;   // the cursor's transaction is ours, not the user's
  std::vector<std::string> names_;
  std::vector<FieldView> row_;
  Result batch_;
  int batchRows_ = 0;
  int batchRow_ = 0;
  int pendingRows_ = 0;  // rows asked for by the FETCH in flight, 0 when none
};

}  // namespace zorv::lib
