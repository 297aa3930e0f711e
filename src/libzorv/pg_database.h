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
// The cursor is a server-side cursor read in batches, every step of it inside
// one transaction, so a pooler that gives each transaction to another server
// connection serves it. Opened outside a user transaction it lives in a
// read-only transaction of its own that Cursor reads to the end and commits:
// the first batch stays in memory, the rest goes to a temporary file, so no
// transaction waits on a person between two Fetches (servers end idle ones)
// and Exec commits at once. Inside the user's transaction the cursor reads
// from the server as Fetch asks; before Exec runs anything the session has
// the rows the server still holds moved to a temporary file (readRest).
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

  static void onNotice(void* self, const pg_result* notice);
  // Keeps the reason of an error that ends the session (FATAL or PANIC,
  // with its SQLSTATE) for the message of the lost connection; false for
  // any other error.
  bool noteServerEnd(const pg_result* error);

  // Runs one fixed statement and returns its result, or throws.
  Result run(const std::string& sql);
  // Throws for a failed result: kConnectFailed when the connection is gone.
  void check(const pg_result* result, int wanted);
  // Throws kConnectFailed when the connection is gone, naming the server's
  // reason when it ended the session, else kStatementFailed with `message`.
  [[noreturn]] void failWith(const std::string& message);
  // Reads the next batch of the server cursor into batch_ and asks for the
  // one after it, so the server works while the console reads.
  void fetchBatch(int rows);
  void sendFetch(int rows);
  Result receiveFetch();
  // Reads the cursor opened in its own transaction to its end, the rows
  // after the first batch into spill_, and commits: no server transaction
  // stays open between two calls. A statement that fails part way keeps
  // the rows before its failing batch; fetch reports the failure after
  // them. A lost connection or a file that cannot be written throws, the
  // cursor closed.
  void readAhead();
  // fetch once the batch in memory is read: the spill file, then a failure
  // the read-ahead met, then the server cursor.
  bool fetchBeyondBatch(std::span<const FieldView>& row);
  // The current batch's next row into row_; a row must be left.
  void readBatchRow(std::span<const FieldView>& row);
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
  std::string serverEnded_;  // why the server ended the session, once it has

  bool cursorOpen_ = false;
  bool serverOpen_ = false;       // the server cursor exists
  bool ownTransaction_ = false;   // the cursor's transaction is ours, not the user's
  std::vector<std::string> names_;
  std::vector<FieldView> row_;
  Result batch_;
  int batchRows_ = 0;
  int batchRow_ = 0;
  int pendingRows_ = 0;  // rows asked for by the FETCH in flight, 0 when none
  std::unique_ptr<SpillFile> spill_;  // read-ahead rows after the first batch
  std::string failedAfterRows_;       // the read-ahead's failure, for after its rows
};

}  // namespace zorv::lib
