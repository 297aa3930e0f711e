#include "spill_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "zorv_error.h"

namespace zorv::lib {
namespace {

constexpr size_t kBlockBytes = 256 * 1024;
constexpr size_t kLengthBytes = sizeof(uint32_t);
constexpr size_t kRowSizeBytes = sizeof(uint64_t);

}  // namespace

SpillFile::SpillFile(size_t columns)
    : columns_(columns), buffer_(kBlockBytes), row_(columns) {
  file_ = openAnonymousTemporaryFile();
  if (file_ == nullptr) fail("cannot create a temporary file for the cursor's rows");
  // The buffer above does the blocking; the stream's own would copy again.
  std::setvbuf(file_, nullptr, _IONBF, 0);
}

SpillFile::~SpillFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void SpillFile::fail(const char* what) {
  const int error = errno;
  throw ZorvError(kInternal, std::string(what) + ": " +
                                 (error != 0 ? std::strerror(error) : "the file ended early"));
}

void SpillFile::flushWrites() {
  if (begin_ > 0 && std::fwrite(buffer_.data(), 1, begin_, file_) != begin_) {
    fail("cannot write the cursor's rows to a temporary file");
  }
  begin_ = 0;
}

void SpillFile::append(std::span<const FieldView> row) {
  // A row is its size, then each field's length and bytes: reading checks
  // the buffer once a row, not once a field.
  uint64_t bytes = row.size() * kLengthBytes;
  for (const FieldView& field : row) bytes += field.isNull ? 0 : field.size;
  const size_t need = kRowSizeBytes + bytes;
  if (buffer_.size() - begin_ < need) {
    flushWrites();
    if (buffer_.size() < need) buffer_.resize(need);
  }
  char* out = buffer_.data() + begin_;
  std::memcpy(out, &bytes, kRowSizeBytes);
  out += kRowSizeBytes;
  for (const FieldView& field : row) {
    const uint32_t length = field.isNull ? kNullLength : static_cast<uint32_t>(field.size);
    std::memcpy(out, &length, kLengthBytes);
    out += kLengthBytes;
    if (!field.isNull) {
      std::memcpy(out, field.data, field.size);
      out += field.size;
    }
  }
  begin_ += need;
}

void SpillFile::startReading() {
  flushWrites();
  if (std::fflush(file_) != 0) fail("cannot write the cursor's rows to a temporary file");
  std::rewind(file_);
  begin_ = end_ = 0;
  reading_ = true;
}

bool SpillFile::ensure(size_t& at, size_t& pos, size_t need) {
  if (end_ - pos >= need) return true;
  // Keep the row begun at `at`: move it to the front, then read more.
  const size_t kept = end_ - at;
  std::memmove(buffer_.data(), buffer_.data() + at, kept);
  pos -= at;
  at = 0;
  end_ = kept;
  if (pos + need > buffer_.size()) buffer_.resize(std::max(pos + need, 2 * buffer_.size()));
  while (end_ - pos < need) {
    errno = 0;
    const size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
    if (got == 0) {
      if (std::ferror(file_)) fail("cannot read the cursor's rows from a temporary file");
      return false;
    }
    end_ += got;
  }
  return true;
}

bool SpillFile::next(std::span<const FieldView>& row) {
  if (columns_ == 0 || !reading_) return false;
  size_t at = begin_;
  size_t pos = at;
  if (!ensure(at, pos, kRowSizeBytes)) {
    begin_ = at;
    if (end_ == at) return false;
    fail("cannot read the cursor's rows from a temporary file");
  }
  uint64_t bytes;
  std::memcpy(&bytes, buffer_.data() + pos, kRowSizeBytes);
  pos += kRowSizeBytes;
  if (bytes < columns_ * kLengthBytes || !ensure(at, pos, bytes)) {
    fail("cannot read the cursor's rows from a temporary file");
  }
  const char* in = buffer_.data() + pos;
  const char* const end = in + bytes;
  for (size_t i = 0; i < columns_; ++i) {
    uint32_t length;
    std::memcpy(&length, in, kLengthBytes);
    in += kLengthBytes;
    if (length == kNullLength) {
      row_[i] = FieldView{nullptr, 0, true};
      continue;
    }
    if (static_cast<size_t>(end - in) < length) {
      fail("cannot read the cursor's rows from a temporary file");
    }
    row_[i] = FieldView{in, length, false};
    in += length;
  }
  begin_ = pos + bytes;
  row = row_;
  return true;
}

}  // namespace zorv::lib
