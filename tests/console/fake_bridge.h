#pragma once

// Access from a test to the recording bridge library beside the test
// executable, the same file (and so the same loaded object) the console's
// bindings load.
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "dynamic_library.h"

namespace zorv::testing {

struct RecordedCall {
  std::string entry;
  std::string first;
  std::string second;
};

#ifdef _WIN32
inline void* openLibrary(const std::filesystem::path& file, bool onlyIfLoaded) {
  return onlyIfLoaded ? static_cast<void*>(GetModuleHandleW(file.c_str()))
                      : static_cast<void*>(LoadLibraryW(file.c_str()));
}
inline void closeLibrary(void* handle, bool wasOnlyLooked) {
  if (!wasOnlyLooked) FreeLibrary(static_cast<HMODULE>(handle));
}
inline void* entry(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
inline std::string lastError() { return "cannot load " + std::to_string(GetLastError()); }
#else
inline void* openLibrary(const std::filesystem::path& file, bool onlyIfLoaded) {
  return dlopen(file.c_str(), RTLD_NOW | (onlyIfLoaded ? RTLD_NOLOAD : RTLD_LOCAL));
}
inline void closeLibrary(void* handle, bool) { dlclose(handle); }
inline void* entry(void* handle, const char* name) { return dlsym(handle, name); }
inline std::string lastError() { return dlerror(); }
#endif

class FakeBridge {
 public:
  static std::filesystem::path file() {
    return platform::executableFolder() / platform::kBridgeLibraryFileName;
  }

  // Whether the console has loaded the library yet.
  static bool loaded() {
    void* handle = openLibrary(file(), true);
    if (handle) closeLibrary(handle, true);
    return handle != nullptr;
  }

  // Loads the library (as the console would on its first call) to script it.
  FakeBridge() : handle_(openLibrary(file(), false)) {
    if (!handle_) throw std::runtime_error(lastError());
  }
  ~FakeBridge() { closeLibrary(handle_, false); }
  FakeBridge(const FakeBridge&) = delete;
  FakeBridge& operator=(const FakeBridge&) = delete;

  // The next call returns `code` and writes `bytes` (exactly these, no NUL added).
  void script(int32_t code, const std::string& bytes) {
    fn<void (*)(int32_t, const char*, size_t)>("fakeScript")(code, bytes.data(), bytes.size());
  }
  // The next call returns `code` and writes nothing.
  void scriptNoWrite(int32_t code) {
    fn<void (*)(int32_t, const char*, size_t)>("fakeScript")(code, nullptr, 0);
  }
  // Once the script is used up, every call returns `code` and writes `bytes`.
  void fallback(int32_t code, const std::string& bytes) {
    fn<void (*)(int32_t, const char*, size_t)>("fakeFallback")(code, bytes.data(), bytes.size());
  }
  // Whether calls are kept for call(); off for long runs.
  void record(bool on) { fn<void (*)(bool)>("fakeRecord")(on); }
  size_t callCount() { return fn<size_t (*)()>("fakeCallCount")(); }
  RecordedCall call(size_t index) {
    auto arg = fn<const char* (*)(size_t, int, size_t*)>("fakeCallArg");
    RecordedCall call{fn<const char* (*)(size_t)>("fakeCallEntry")(index), "", ""};
    size_t size = 0;
    const char* bytes = arg(index, 0, &size);
    call.first.assign(bytes, size);
    bytes = arg(index, 1, &size);
    call.second.assign(bytes, size);
    return call;
  }
  RecordedCall lastCall() { return call(callCount() - 1); }

 private:
  template <typename Fn>
  Fn fn(const char* name) {
    auto address = reinterpret_cast<Fn>(entry(handle_, name));
    if (!address) throw std::runtime_error(std::string("fake lacks ") + name);
    return address;
  }

  void* handle_;
};

}  // namespace zorv::testing
