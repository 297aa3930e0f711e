#pragma once

// A folder in which a copy of the trace library stands under the bridge
// library's name, with its settings file: what a user sets up beside a
// program. Calls go through the bridge access layer's bindings, as the
// console makes them; each folder's copy is its own loaded library, so each
// test starts from a trace library that has not been set up yet.
#include <filesystem>
#include <string>
#include <vector>

#include "bridge_binding.h"
#include "trace_text.h"

namespace zorv::trace::testing {

class TracedFolder {
 public:
  // `settings`: the bytes of libzorv-trace.ini, or nothing for no file.
  TracedFolder(const std::string& name, const std::optional<std::string>& settings);
  ~TracedFolder();
  TracedFolder(const TracedFolder&) = delete;
  TracedFolder& operator=(const TracedFolder&) = delete;

  BridgeBindings& bindings() { return bindings_; }
  const std::filesystem::path& folder() const { return folder_; }
  // The folder the record goes to with trace=rec.
  std::filesystem::path recordFolder() const { return folder_ / "rec"; }
  // The files in the record folder.
  std::vector<std::filesystem::path> recordFiles() const;
  // The lines of the one record in the record folder, each parsed.
  std::vector<Json> record() const;

 private:
  std::filesystem::path folder_;
  BridgeBindings bindings_;
};

// A path (UTF-8) as settings and bridge texts spell it.
std::string utf8Path(const std::filesystem::path& path);

// The recording test bridge's controls (tests/fakes/recording_bridge.cpp).
class RecordingBridge {
 public:
  RecordingBridge();
  void reset();
  void script(int32_t code, const std::string& bytes);
  void fallback(int32_t code, const std::string& bytes);
  void record(bool on);
  std::string callArgument(size_t call, int which);
  size_t callCount();

 private:
  void* handle_;
};

// Sets an environment variable for the life of the object.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value);
  ~ScopedVariable();

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace zorv::trace::testing
