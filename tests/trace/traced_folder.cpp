#include "traced_folder.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "dynamic_library.h"
#include "fake_bridge.h"
#include "trace_platform.h"

namespace zorv::trace::testing {

TracedFolder::TracedFolder(const std::string& name, const std::optional<std::string>& settings)
    : folder_(std::filesystem::temp_directory_path() /
              ("zorv-trace-test-" + name + "-" + std::to_string(platform::processId()))),
      bindings_(folder_) {
  std::filesystem::remove_all(folder_);
  std::filesystem::create_directories(recordFolder());
  std::filesystem::copy_file(zorv::platform::pathFromUtf8(ZORV_TRACE_LIBRARY_PATH),
                             folder_ / zorv::platform::kBridgeLibraryFileName);
  if (settings) std::ofstream(folder_ / "libzorv-trace.ini", std::ios::binary) << *settings;
}

// The loaded copy stays loaded for the process; where a loaded library
// cannot be removed (Windows), it and its folder stay behind.
TracedFolder::~TracedFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::vector<std::filesystem::path> TracedFolder::recordFiles() const {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(recordFolder())) {
    files.push_back(entry.path());
  }
  return files;
}

std::vector<Json> TracedFolder::record() const {
  const auto files = recordFiles();
  if (files.size() != 1) throw std::runtime_error("not one record in " + recordFolder().string());
  std::ifstream in(files[0], std::ios::binary);
  std::vector<Json> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(Json::parse(line));
  return lines;
}

std::string utf8Path(const std::filesystem::path& path) { return zorv::platform::utf8OfPath(path); }

namespace {
template <typename F>
F control(void* handle, const char* name) {
  auto* address = zorv::testing::entry(handle, name);
  if (!address) throw std::runtime_error(std::string("the recording bridge lacks ") + name);
  return reinterpret_cast<F>(address);
}
}  // namespace

RecordingBridge::RecordingBridge()
    : handle_(zorv::testing::openLibrary(
          zorv::platform::pathFromUtf8(ZORV_RECORDING_BRIDGE_PATH), false)) {
  if (!handle_) throw std::runtime_error(zorv::testing::lastError());
}
void RecordingBridge::reset() { control<void (*)()>(handle_, "fakeReset")(); }
void RecordingBridge::script(int32_t code, const std::string& bytes) {
  control<void (*)(int32_t, const char*, size_t)>(handle_, "fakeScript")(code, bytes.data(),
                                                                          bytes.size());
}
void RecordingBridge::fallback(int32_t code, const std::string& bytes) {
  control<void (*)(int32_t, const char*, size_t)>(handle_, "fakeFallback")(code, bytes.data(),
                                                                            bytes.size());
}
void RecordingBridge::record(bool on) { control<void (*)(bool)>(handle_, "fakeRecord")(on); }
size_t RecordingBridge::callCount() { return control<size_t (*)()>(handle_, "fakeCallCount")(); }
std::string RecordingBridge::callArgument(size_t call, int which) {
  size_t size = 0;
  const char* bytes =
      control<const char* (*)(size_t, int, size_t*)>(handle_, "fakeCallArg")(call, which, &size);
  return std::string(bytes, size);
}

ScopedVariable::ScopedVariable(const char* name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name)) previous_ = old;
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

ScopedVariable::~ScopedVariable() {
#ifdef _WIN32
  _putenv_s(name_.c_str(), previous_ ? previous_->c_str() : "");
#else
  if (previous_) {
    setenv(name_.c_str(), previous_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
#endif
}

}  // namespace zorv::trace::testing
