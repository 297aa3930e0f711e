#include "answer_writer.h"

#include "cp932_codec.h"
#include "zorv_error.h"

namespace zorv::lib {

AnswerWriter::AnswerWriter(char* buf) : buf_(buf) { buf_[0] = '\0'; }

bool AnswerWriter::appendText(std::string_view utf8) {
  if (cut_) return false;
  const auto encoded = Cp932Codec::instance().fromUtf8(utf8, buf_ + size_, kLimit - size_);
  replaced_ = replaced_ || encoded.replaced;
  size_ += encoded.written;
  buf_[size_] = '\0';
  if (!encoded.complete) cut_ = true;
  return encoded.complete;
}

bool AnswerWriter::appendByte(char byte) {
  if (cut_ || size_ == kLimit) {
    cut_ = true;
    return false;
  }
  buf_[size_++] = byte;
  buf_[size_] = '\0';
  return true;
}

bool AnswerWriter::appendFields(std::span<const FieldView> fields) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0 && !appendByte('\t')) return false;
    if (!fields[i].isNull && !appendText(fields[i].text())) return false;
  }
  return !cut_;
}

bool AnswerWriter::appendLine(std::span<const FieldView> fields) {
  if (cut_) return false;
  const size_t start = size_;
  if (appendFields(fields)) {
    const size_t body = size_;
    if (appendByte('\r') && appendByte('\n')) return true;
    truncateTo(start == 0 ? body : start);
    return false;
  }
  if (start != 0) truncateTo(start);
  return false;
}

void AnswerWriter::truncateTo(size_t size) {
  size_ = size;
  buf_[size_] = '\0';
}

void AnswerWriter::clear() {
  truncateTo(0);
  cut_ = false;
  replaced_ = false;
}

int32_t AnswerWriter::code() const {
  if (cut_) return kCut;
  return replaced_ ? kReplaced : kOk;
}

}  // namespace zorv::lib
