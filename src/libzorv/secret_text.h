#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace zorv::lib {

// Zeroes `bytes` bytes at `data` in a way the compiler may not leave out.
void wipeMemory(void* data, size_t bytes) noexcept;

// An allocator that zeroes every block before it returns it, so a string
// that grows leaves no copy of its text in the memory it gave up.
template <class T>
struct WipingAllocator {
  using value_type = T;

  WipingAllocator() = default;
  template <class U>
  WipingAllocator(const WipingAllocator<U>&) noexcept {}

  T* allocate(size_t count) { return std::allocator<T>().allocate(count); }
  void deallocate(T* block, size_t count) noexcept {
    wipeMemory(block, count * sizeof(T));
    std::allocator<T>().deallocate(block, count);
  }
  friend bool operator==(const WipingAllocator&, const WipingAllocator&) { return true; }
};

// Text that may hold a password (a connection text, a copy of it, a value
// parsed from it): every buffer it used, the one inside the object too, is
// zeroed before it is freed. Moved-from and copied-from objects wipe their
// own buffers when they end.
template <class Char>
class SecretBasicString
    : public std::basic_string<Char, std::char_traits<Char>, WipingAllocator<Char>> {
  using Base = std::basic_string<Char, std::char_traits<Char>, WipingAllocator<Char>>;

 public:
  using Base::Base;
  SecretBasicString() = default;
  SecretBasicString(const SecretBasicString&) = default;
  SecretBasicString(SecretBasicString&&) noexcept = default;
  SecretBasicString& operator=(const SecretBasicString&) = default;
  SecretBasicString& operator=(SecretBasicString&&) noexcept = default;
  explicit SecretBasicString(std::basic_string_view<Char> text) : Base(text.data(), text.size()) {}
  ~SecretBasicString() { wipeMemory(this->data(), (this->capacity() + 1) * sizeof(Char)); }

  std::basic_string_view<Char> view() const { return {this->data(), this->size()}; }
};

using SecretString = SecretBasicString<char>;
using SecretU16String = SecretBasicString<char16_t>;

}  // namespace zorv::lib
