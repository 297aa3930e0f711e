#pragma once

// Looks at a library that the code under test may have loaded, without ever
// loading it: tests use it to tell whether a given file is in the process.

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zorv::test {

#ifdef _WIN32

inline HMODULE loadedModule(const std::filesystem::path& path) {
  std::filesystem::path native = path;
  return GetModuleHandleW(native.make_preferred().wstring().c_str());
}

// True when the library file at `path` is loaded in this process now.
inline bool isLoaded(const std::filesystem::path& path) { return loadedModule(path) != nullptr; }

// The exported entry `name` of the library at `path`, or nullptr when that
// library is not loaded or has no such entry.
inline void* symbol(const std::filesystem::path& path, const char* name) {
  HMODULE module = loadedModule(path);
  return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

#else

// True when the library file at `path` is loaded in this process now.
inline bool isLoaded(const std::filesystem::path& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

// The exported entry `name` of the library at `path`, or nullptr when that
// library is not loaded or has no such entry.
inline void* symbol(const std::filesystem::path& path, const char* name) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return nullptr;
  void* address = dlsym(handle, name);
  dlclose(handle);  // the library stays: the code under test holds it
  return address;
}

#endif

}  // namespace zorv::test
