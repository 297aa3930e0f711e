#include "record_set.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include "child_process.h"
#include "dynamic_library.h"
#include "record_format.h"
#include "replay_report.h"

namespace zorv::check {

namespace fs = std::filesystem;

std::optional<std::vector<std::string>> recordPaths(const Options& options, std::string& error) {
  std::vector<std::string> paths;
  for (const std::string& named : options.records) {
    std::error_code failure;
    const fs::path folder = ::zorv::platform::pathFromUtf8(named);
    if (!fs::is_directory(folder, failure)) {
      paths.push_back(named);
      continue;
    }
    std::vector<std::pair<std::string, std::string>> found;  // file name, path
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, failure)) {
      const std::string name = ::zorv::platform::utf8OfPath(entry.path().filename());
      std::error_code kind;
      if (name.size() > 6 && name.compare(name.size() - 6, 6, ".jsonl") == 0 &&
          entry.is_regular_file(kind)) {
        found.emplace_back(name, ::zorv::platform::utf8OfPath(entry.path()));
      }
    }
    if (found.empty()) {
      error = "the folder " + named + " holds no *.jsonl record";
      return std::nullopt;
    }
    std::sort(found.begin(), found.end());
    for (auto& [name, path] : found) paths.push_back(std::move(path));
  }
  return paths;
}

std::string recordName(const std::string& path) {
  return ::zorv::platform::utf8OfPath(::zorv::platform::pathFromUtf8(path).filename());
}

bool loadRecordAt(const std::string& path, TraceRecord& record, std::string& error) {
  std::ifstream in(::zorv::platform::pathFromUtf8(path), std::ios::binary);
  if (!in) {
    error = "cannot read the record " + path;
    return false;
  }
  try {
    record = readTraceRecord(in);
    return true;
  } catch (const RecordError& failure) {
    error = path + ": " + failure.what();
    return false;
  }
}

namespace {

// The --logins file, read once a process.
bool readLogins(const std::string& path, std::map<std::string, std::string>& logins,
                std::string& error) {
  std::ifstream in(::zorv::platform::pathFromUtf8(path), std::ios::binary);
  std::stringstream text;
  if (!in || !(text << in.rdbuf())) {
    error = "cannot read the logins file " + path;
    return false;
  }
  trace::Json object;
  try {
    object = trace::Json::parse(text.str());
  } catch (const trace::Json::exception&) {
    object = nullptr;
  }
  if (!object.is_object()) {
    error = path + ": not a JSON object mapping a record's file name to its connection text";
    return false;
  }
  for (const auto& [name, value] : object.items()) {
    if (!value.is_string()) {
      error = path + ": the connection text of \"" + name + "\" is no string";
      return false;
    }
    logins[name] = value.get<std::string>();
  }
  return true;
}

}  // namespace

bool loginFor(const Options& options, const std::string& path, std::optional<std::string>& login,
              std::string& error) {
  login = options.login ? options.login : platform::environmentText("ZORV_LOGIN");
  if (options.loginsPath.empty()) return true;
  // Read once for all the records of a run.
  static std::string readPath;
  static std::map<std::string, std::string> logins;
  if (readPath != options.loginsPath) {
    std::map<std::string, std::string> read;
    if (!readLogins(options.loginsPath, read, error)) return false;
    logins = std::move(read);
    readPath = options.loginsPath;
  }
  if (const auto it = logins.find(recordName(path)); it != logins.end()) login = it->second;
  return true;
}

bool loadRecordSet(const Options& options, std::vector<RecordInSet>& set) {
  std::string error;
  const std::optional<std::vector<std::string>> paths = recordPaths(options, error);
  if (!paths) {
    platform::writeText(stderr, "zorv-check: " + error + "\n");
    return false;
  }
  set.clear();
  for (size_t i = 0; i < paths->size(); ++i) {
    RecordInSet entry;
    entry.path = (*paths)[i];
    entry.name = recordName(entry.path);
    entry.index = i;
    if (!loadRecordAt(entry.path, entry.record, error) ||
        !loginFor(options, entry.path, entry.login, error)) {
      platform::writeText(stderr, "zorv-check: " + error + "\n");
      return false;
    }
    for (const RecordedCall& call : entry.record.calls) {
      if (call.masked && !entry.login) {
        platform::writeText(
            stderr, "zorv-check: " + (paths->size() > 1 ? entry.path + ": " : std::string()) +
                        "the connection text of " + callName(call) + " (line " +
                        std::to_string(call.line) +
                        ") had its password masked: give the connection text with --logins FILE, "
                        "--login TEXT or ZORV_LOGIN\n");
        return false;
      }
    }
    set.push_back(std::move(entry));
  }
  return true;
}

}  // namespace zorv::check
