#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "dynamic_library.h"

namespace zorv {

// What every bridge function returns; shown, never interpreted.
using ResultCode = int32_t;

// The bridge library, or one of its entries, cannot be had. Carries the
// library's file name, the entry's name and the system's reason (UTF-8),
// and the library's bitness (32 or 64) when it is a library for processes
// of the other bitness, 0 otherwise.
class BridgeFailure : public std::runtime_error {
 public:
  BridgeFailure(std::string library, std::string entry, std::string reason, int libraryBits = 0);

  const std::string& library() const { return library_; }
  const std::string& entry() const { return entry_; }
  const std::string& reason() const { return reason_; }
  int libraryBits() const { return libraryBits_; }

 private:
  std::string library_;
  std::string entry_;
  std::string reason_;
  int libraryBits_;
};

// The eight functions the bridge library exports, in declaration order.
enum class BridgeEntry { Login, Close, Cursor, Fetch, MsgGet, Exec, Status, FNames };
inline constexpr size_t kBridgeEntryCount = 8;

// The exported name of an entry, e.g. "ZORVfetch".
const char* bridgeEntryName(BridgeEntry entry);

// The binding of one bridge function: empty until its first call, then kept
// for the whole run; the entry address never changes once set.
struct BridgeBinding {
  const char* libraryName;  // shared by all eight records
  const char* entryName;    // the exported name, matched exactly
  platform::LibraryHandle libraryHandle = nullptr;
  void* entryAddress = nullptr;
  int lookups = 0;  // times the entry was looked up: never more than one
};

// The eight bindings to one bridge library file, which is looked for in
// `preferredFolder` first and then by the system loader's default search.
// The file is the platform's bridge library name unless `libraryFileName`
// names another one. Used from one thread; needs no lock.
class BridgeBindings {
 public:
  explicit BridgeBindings(std::filesystem::path preferredFolder,
                          std::string libraryFileName = platform::kBridgeLibraryFileName);
  BridgeBindings(const BridgeBindings&) = delete;
  BridgeBindings& operator=(const BridgeBindings&) = delete;

  // The entry's address; the first call loads the library if it is not
  // loaded yet and looks the entry up. Throws BridgeFailure, binding nothing.
  void* bind(BridgeEntry entry);

  const BridgeBinding& binding(BridgeEntry entry) const {
    return records_[static_cast<size_t>(entry)];
  }
  bool libraryLoaded() const { return library_ != nullptr; }
  platform::LibraryHandle library() const { return library_; }

 private:
  std::filesystem::path preferredFolder_;
  std::string libraryFileName_;  // the text every record's libraryName points to
  platform::LibraryHandle library_ = nullptr;
  std::array<BridgeBinding, kBridgeEntryCount> records_;
};

// The bindings of this process, which prefer the executable's own folder.
BridgeBindings& processBindings();

}  // namespace zorv
