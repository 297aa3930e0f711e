#include "bridge_binding.h"

#include <utility>

namespace zorv {

BridgeFailure::BridgeFailure(std::string library, std::string entry, std::string reason,
                             int libraryBits)
    : std::runtime_error("Cannot call " + entry + " in " + library + ": " + reason),
      library_(std::move(library)),
      entry_(std::move(entry)),
      reason_(std::move(reason)),
      libraryBits_(libraryBits) {}

namespace {
constexpr std::array<const char*, kBridgeEntryCount> kEntryNames = {
    "ZORVlogin", "ZORVclose", "ZORVcursor", "ZORVfetch",
    "ZORVmsgget", "ZORVexec", "ZORVstatus", "ZORVfnames"};
}  // namespace

const char* bridgeEntryName(BridgeEntry entry) { return kEntryNames[static_cast<size_t>(entry)]; }

BridgeBindings::BridgeBindings(std::filesystem::path preferredFolder, std::string libraryFileName)
    : preferredFolder_(std::move(preferredFolder)), libraryFileName_(std::move(libraryFileName)) {
  for (size_t i = 0; i < kBridgeEntryCount; ++i) {
    records_[i] = BridgeBinding{libraryFileName_.c_str(), kEntryNames[i]};
  }
}

void* BridgeBindings::bind(BridgeEntry entry) {
  BridgeBinding& record = records_[static_cast<size_t>(entry)];
  if (record.entryAddress) return record.entryAddress;

  std::string reason;
  if (!library_) {
    int otherBits = 0;
    library_ = platform::loadLibrary(preferredFolder_, record.libraryName, reason, &otherBits);
    if (!library_) throw BridgeFailure(record.libraryName, record.entryName, reason, otherBits);
  }
  ++record.lookups;
  void* address = platform::findEntry(library_, record.entryName, reason);
  if (!address) throw BridgeFailure(record.libraryName, record.entryName, reason);
  record.libraryHandle = library_;
  record.entryAddress = address;
  return address;
}

BridgeBindings& processBindings() {
  static BridgeBindings bindings(platform::executableFolder());
  return bindings;
}

}  // namespace zorv
