#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "field_view.h"

namespace zorv::lib {

// Rows kept in an anonymous temporary file, written once and then read back
// in order, so a cursor's remaining rows survive the end of its server-side
// transaction without growing memory. The file vanishes with the object.
class SpillFile {
 public:
  // Creates the file for rows of `columns` fields. Throws ZorvError.
  explicit SpillFile(size_t columns);
  ~SpillFile();
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  void append(std::span<const FieldView> row);
  // Ends writing; reading starts at the first row.
  void startReading();
  // The next row, valid until the next call; false after the last.
  bool next(std::span<const FieldView>& row);

 private:
  static constexpr uint32_t kNullLength = 0xFFFFFFFFu;

  [[noreturn]] void fail(const char* what);
  // Writes the buffered rows to the file.
  void flushWrites();
  // Makes `need` bytes from `pos` readable in buffer_, keeping the row that
  // starts at `at` (both move when the buffer does); false at the file's end.
  bool ensure(size_t& at, size_t& pos, size_t need);

  std::FILE* file_ = nullptr;
  size_t columns_;
  // Rows are written and read through this one buffer in large blocks, so
  // a row costs copies, not calls; a field longer than it grows it.
  std::vector<char> buffer_;
  size_t begin_ = 0;  // writing: bytes buffered; reading: the next row's start
  size_t end_ = 0;    // reading: the end of the bytes read
  bool reading_ = false;
  std::vector<FieldView> row_;
};

// Opens a new temporary file for reading and writing in binary mode, in the
// platform's folder for temporary files, removed by the system when closed
// or when the process ends; nullptr with errno set on failure. One file per
// platform: spill_file_posix.cpp, spill_file_win32.cpp.
std::FILE* openAnonymousTemporaryFile();

}  // namespace zorv::lib
