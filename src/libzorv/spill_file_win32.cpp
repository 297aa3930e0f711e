#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "spill_file.h"

namespace zorv::lib {

// The C runtime's tmpfile() writes into the root of the current drive, which
// an ordinary user may not write to; the file is made in the user's folder
// for temporary files instead. FILE_FLAG_DELETE_ON_CLOSE removes it when the
// last handle closes, also when the process is ended from outside, and
// FILE_ATTRIBUTE_TEMPORARY keeps it in the file cache where possible.
std::FILE* openAnonymousTemporaryFile() {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) {
    errno = ENOENT;
    return nullptr;
  }
  wchar_t path[MAX_PATH + 1];
  if (GetTempFileNameW(folder, L"zrv", 0, path) == 0) {
    errno = EACCES;
    return nullptr;
  }
  // GetTempFileNameW made the file to reserve the name; it is opened again
  // with deletion on close (no sharing, so no one else opens it meanwhile).
  HANDLE handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DeleteFileW(path);
    errno = EACCES;
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
  if (fd == -1) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "w+b");
  if (file == nullptr) _close(fd);
  return file;
}

}  // namespace zorv::lib
