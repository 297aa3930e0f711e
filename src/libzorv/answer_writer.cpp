#include "answer_writer.h"

#include "cp932_codec.h"
#include "plain_ascii.h"
#include "zorv_error.h"

namespace zorv::lib {

bool AnswerWriter::appendText(std::string_view utf8) {
  if (cut_) return false;
  const auto encoded = codec_.fromUtf8(utf8, buf_ + size_, kLimit - size_);
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
  // One pass per row, the NUL written once at its end: this runs for every
  // row a cursor hands out. Locals, not members: every byte written through
  // buf_ could alias a member, which the compiler would then load again.
  if (cut_) return false;
  char* const buf = buf_;
  size_t size = size_;
  bool replaced = false;
  bool cut = false;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) {
      if (size == kLimit) {
        cut = true;
        break;
      }
      buf[size++] = '\t';
    }
    const FieldView& field = fields[i];
    if (field.isNull) continue;
    if (field.shortPlain && field.size <= kLimit - size && codec_.asciiIsIdentity()) {
      plain_ascii::copyShort(reinterpret_cast<const unsigned char*>(field.data), field.size,
                             buf + size);
      size += field.size;
      continue;
    }
    const auto encoded = codec_.fromUtf8(field.text(), buf + size, kLimit - size);
    replaced = replaced || encoded.replaced;
    size += encoded.written;
    if (!encoded.complete) {
      cut = true;
      break;
    }
  }
  buf[size] = '\0';
  size_ = size;
  replaced_ = replaced_ || replaced;
  cut_ = cut;
  return !cut;
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

}  // namespace zorv::lib
