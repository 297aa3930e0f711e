#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zorv::trace::platform {

// The file the code of the trace library was loaded from, or an empty path
// when the system cannot tell.
std::filesystem::path ownLibraryFile();

// The ids the system gives the running process and the calling thread.
int64_t processId();
int64_t threadId();

// The value of the environment variable `name` as UTF-8, or nothing when it
// is unset or empty.
std::optional<std::string> environmentValue(const char* name);

// How a setting names an environment variable: "$VAR", "${VAR}",
// "${VAR:-default}" and a leading "~" on POSIX; "%VAR%" on Windows.
enum class VariableStyle { Posix, Windows };
extern const VariableStyle kVariableStyle;

// A record file this process alone writes, at its end; closed when destroyed.
class RecordFile {
 public:
  explicit RecordFile(intptr_t handle) : handle_(handle) {}
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;
  ~RecordFile();

  // Writes all of `bytes`; otherwise the system's reason, and the file may
  // hold a part of them.
  std::optional<std::string> append(std::string_view bytes);
  // Cuts the file back to its first `size` bytes and goes on writing there.
  void cutBack(uint64_t size);
  // Sets disk space aside for the file's bytes up to `size`, its length left
  // as it is. Answers false, with the reason, only when the disk has no
  // room left; true also where the system sets no space aside.
  bool reserve(uint64_t size, std::string& reason);

 private:
  intptr_t handle_;
};

// Makes `folder` and its missing parents, each new one for its owner alone.
// Throws std::system_error.
void createPrivateFolders(const std::filesystem::path& folder);

// Creates `file` for its owner alone; never opens a name that exists (a link
// planted there included). Nothing when the name is taken; throws
// std::system_error for any other failure.
std::unique_ptr<RecordFile> createNewFile(const std::filesystem::path& file);

// Opens `file` as this process's record, created for its owner alone when
// missing and emptied when no running process writes it; nothing, the file
// untouched, while another process writes it. The process holds it until it
// ends, so no later one empties it meanwhile. Never follows a link. Throws
// std::system_error for any other failure.
std::unique_ptr<RecordFile> openOwnFile(const std::filesystem::path& file);

}  // namespace zorv::trace::platform
