#include "spill_file.h"

#include <cerrno>
#include <cstring>

#include "zorv_error.h"

namespace zorv::lib {
namespace {

constexpr size_t kIoBufferBytes = 256 * 1024;

}  // namespace

SpillFile::SpillFile(size_t columns)
    : columns_(columns), ioBuffer_(kIoBufferBytes), lengths_(columns), row_(columns) {
  file_ = openAnonymousTemporaryFile();
  if (file_ == nullptr) fail("cannot create a temporary file for the cursor's rows");
  std::setvbuf(file_, ioBuffer_.data(), _IOFBF, ioBuffer_.size());
}

SpillFile::~SpillFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void SpillFile::fail(const char* what) {
  throw ZorvError(kInternal, std::string(what) + ": " + std::strerror(errno));
}

void SpillFile::append(std::span<const FieldView> row) {
  for (const FieldView& field : row) {
    const uint32_t length = field.isNull ? kNullLength : static_cast<uint32_t>(field.size);
    if (std::fwrite(&length, sizeof length, 1, file_) != 1 ||
        (!field.isNull && field.size > 0 &&
         std::fwrite(field.data, 1, field.size, file_) != field.size)) {
      fail("cannot write the cursor's rows to a temporary file");
    }
  }
}

void SpillFile::startReading() {
  if (std::fflush(file_) != 0) fail("cannot write the cursor's rows to a temporary file");
  std::rewind(file_);
}

bool SpillFile::next(std::span<const FieldView>& row) {
  if (columns_ == 0) return false;
  storage_.clear();
  for (size_t i = 0; i < columns_; ++i) {
    uint32_t length;
    if (std::fread(&length, sizeof length, 1, file_) != 1) {
      if (i == 0 && std::feof(file_)) return false;
      fail("cannot read the cursor's rows from a temporary file");
    }
    lengths_[i] = length;
    if (length == kNullLength || length == 0) continue;
    const size_t at = storage_.size();
    storage_.resize(at + length);
    if (std::fread(storage_.data() + at, 1, length, file_) != length) {
      fail("cannot read the cursor's rows from a temporary file");
    }
  }
  size_t at = 0;
  for (size_t i = 0; i < columns_; ++i) {
    if (lengths_[i] == kNullLength) {
      row_[i] = FieldView{nullptr, 0, true};
    } else {
      row_[i] = FieldView{storage_.data() + at, lengths_[i], false};
      at += lengths_[i];
    }
  }
  row = row_;
  return true;
}

}  // namespace zorv::lib
