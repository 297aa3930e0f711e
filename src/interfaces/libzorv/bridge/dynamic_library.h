#pragma once

#include <filesystem>
#include <string>

namespace zorv::platform {

using LibraryHandle = void*;

// The bridge library's file name on this platform.
extern const char* const kBridgeLibraryFileName;

// The folder of the running executable, or an empty path if it cannot be told.
std::filesystem::path executableFolder();

// Loads `fileName` (UTF-8) from `preferredFolder` when the file is there,
// otherwise through the system loader's default search, which never looks in
// the working folder as such. Returns nullptr and the system's reason (UTF-8)
// on failure; when the file found is a library of the other bitness than
// this process, also its bitness (32 or 64) in `*otherBits`, else 0 there.
// A library already loaded in the process is reused.
LibraryHandle loadLibrary(const std::filesystem::path& preferredFolder, const std::string& fileName,
                          std::string& reason, int* otherBits = nullptr);

// The address of the exported entry `name`, matched exactly, or nullptr and
// the system's reason (UTF-8).
void* findEntry(LibraryHandle library, const char* name, std::string& reason);

// A path from UTF-8 text, on every platform (a narrow path is the ANSI code
// page on Windows, not UTF-8).
std::filesystem::path pathFromUtf8(const std::string& utf8);
// The UTF-8 text of a path.
std::string utf8OfPath(const std::filesystem::path& path);

}  // namespace zorv::platform
