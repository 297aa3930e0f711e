#include "answer_buffer.h"

#include <cstring>

namespace {

constexpr unsigned char kGuardByte = 0xA5;

}  // namespace

AnswerBuffer::AnswerBuffer() { std::memset(bytes_, kGuardByte, sizeof bytes_); }

bool AnswerBuffer::terminated() const { return std::memchr(bytes_, 0, kSize) != nullptr; }

std::string AnswerBuffer::text() const {
  const void* end = std::memchr(bytes_, 0, kSize);
  return end == nullptr ? std::string() : std::string(bytes_, static_cast<const char*>(end));
}

bool AnswerBuffer::guardIntact() const {
  for (size_t i = kSize; i < kSize + kGuard; ++i) {
    if (static_cast<unsigned char>(bytes_[i]) != kGuardByte) return false;
  }
  return true;
}
