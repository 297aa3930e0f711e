#pragma once

#include <optional>
#include <string>
#include <vector>

#include "options.h"
#include "trace_record.h"

namespace zorv::check {

// One record of a replay, ready to run.
struct RecordInSet {
  std::string path;                  // as the command line or its folder gave it, UTF-8
  std::string name;                  // its file name, as reports and --logins name it
  TraceRecord record;
  std::optional<std::string> login;  // stands in for its masked connection texts
  std::optional<size_t> index;       // its place among recordPaths(), for a child started afresh
};

// The records --replay names, each folder replaced by the regular files in it
// named *.jsonl, in name order. Nothing, after setting `error` to a one-line
// reason, when a folder holds none.
std::optional<std::vector<std::string>> recordPaths(const Options& options, std::string& error);

// The file name of a record's path: "a.jsonl" for "dir/a.jsonl".
std::string recordName(const std::string& path);

// Reads the record at `path`; false, after setting `error` to a one-line
// reason naming it, when it cannot be read or is damaged.
bool loadRecordAt(const std::string& path, TraceRecord& record, std::string& error);

// The connection text for the masked ZORVlogin of the record at `path`: its
// entry in the --logins file, else --login, else ZORV_LOGIN; nothing when
// none gives one. False, after setting `error`, when the --logins file cannot
// be read or is not a JSON object of texts.
bool loginFor(const Options& options, const std::string& path, std::optional<std::string>& login,
              std::string& error);

// Reads every record --replay names with its login, and makes sure each
// masked connection text has a stand-in. False, after one line on standard
// error naming the first record that cannot be used, before anything runs.
bool loadRecordSet(const Options& options, std::vector<RecordInSet>& set);

}  // namespace zorv::check
