#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "trace_platform.h"

namespace zorv::trace::platform {

const VariableStyle kVariableStyle = VariableStyle::Posix;

std::filesystem::path ownLibraryFile() {
  Dl_info info{};
  static const int anchor = 0;
  if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) return {};
  std::error_code error;
  const auto file = std::filesystem::absolute(info.dli_fname, error);
  return error ? std::filesystem::path() : file;
}

int64_t processId() { return static_cast<int64_t>(getpid()); }

int64_t threadId() {
  thread_local const auto id = static_cast<int64_t>(syscall(SYS_gettid));
  return id;
}

std::optional<std::string> environmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

namespace {

[[noreturn]] void throwSystemError(const std::filesystem::path& path) {
  throw std::system_error(errno, std::generic_category(), path.string());
}

int fd(intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

RecordFile::~RecordFile() { ::close(fd(handle_)); }

std::optional<std::string> RecordFile::append(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd(handle_), bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::string(n < 0 ? std::strerror(errno) : "nothing was written");
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return std::nullopt;
}

void RecordFile::cutBack(uint64_t size) {
  const auto offset = static_cast<off_t>(size);
  [[maybe_unused]] const int cut = ::ftruncate(fd(handle_), offset);  // not possible on a device
  ::lseek(fd(handle_), offset, SEEK_SET);
}

bool RecordFile::reserve(uint64_t size, std::string& reason) {
  if (::fallocate(fd(handle_), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) return true;
  if (errno != ENOSPC && errno != EDQUOT) return true;  // a device, or a file system without it
  reason = std::strerror(errno);
  return false;
}

void createPrivateFolders(const std::filesystem::path& folder) {
  std::error_code error;
  if (std::filesystem::is_directory(folder, error)) return;
  const std::filesystem::path parent = folder.parent_path();
  if (!parent.empty() && parent != folder) createPrivateFolders(parent);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) throwSystemError(folder);
}

std::unique_ptr<RecordFile> createNewFile(const std::filesystem::path& file) {
  const int handle =
      ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (handle < 0) {
    if (errno == EEXIST) return nullptr;
    throwSystemError(file);
  }
  return std::make_unique<RecordFile>(handle);
}

std::unique_ptr<RecordFile> openOwnFile(const std::filesystem::path& file) {
  const int handle = ::open(file.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (handle < 0) throwSystemError(file);
  auto record = std::make_unique<RecordFile>(handle);
  // The lock is the mark of the process writing the file; it goes with the
  // process, however that ends.
  if (::flock(handle, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return nullptr;
    throwSystemError(file);
  }
  struct stat status {};
  if (::fstat(handle, &status) == 0 && S_ISREG(status.st_mode)) {
    if (::ftruncate(handle, 0) != 0) throwSystemError(file);
    ::fchmod(handle, 0600);  // a file left by an older run may be readable by others
  }
  return record;
}

}  // namespace zorv::trace::platform
