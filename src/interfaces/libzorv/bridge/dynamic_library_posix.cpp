#include "dynamic_library.h"

#include <dlfcn.h>

#include <system_error>

namespace zorv::platform {

const char* const kBridgeLibraryFileName = "libzorv.so";

std::filesystem::path executableFolder() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : exe.parent_path();
}

namespace {
std::string lastError() {
  const char* text = dlerror();
  return text ? text : "unknown error";
}
}  // namespace

std::filesystem::path pathFromUtf8(const std::string& utf8) { return utf8; }

std::string utf8OfPath(const std::filesystem::path& path) { return path.string(); }

LibraryHandle loadLibrary(const std::filesystem::path& preferredFolder, const std::string& fileName,
                          std::string& reason, int* otherBits) {
  if (otherBits) *otherBits = 0;  // a library for another ELF class is named by dlerror
  std::string target = fileName;  // a bare name: the loader's default search
  std::error_code error;
  if (!preferredFolder.empty() && std::filesystem::exists(preferredFolder / fileName, error)) {
    target = (preferredFolder / fileName).string();
  }
  // Local binding: the library's symbols must not take the place of anyone else's.
  void* handle = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) reason = lastError();
  return handle;
}

void* findEntry(LibraryHandle library, const char* name, std::string& reason) {
  dlerror();
  void* address = dlsym(library, name);
  if (!address) reason = lastError();
  return address;
}

}  // namespace zorv::platform
