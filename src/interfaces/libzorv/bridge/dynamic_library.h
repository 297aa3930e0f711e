#pragma once

#include <filesystem>
#include <string>

namespace zorv::platform {

using LibraryHandle = void*;

// The bridge library's file name on this platform.
extern const char* const kBridgeLibraryFileName;

// The folder of the running executable, or an empty path if it cannot be told.
std::filesystem::path executableFolder();

// Loads `fileName` from `preferredFolder` when the file is there, otherwise
// through the system loader's default search, which never looks in the
// working folder as such. Returns nullptr and the system's reason on failure.
// A library already loaded in the process is reused.
LibraryHandle loadLibrary(const std::filesystem::path& preferredFolder, const std::string& fileName,
                          std::string& reason);

// The address of the exported entry `name`, matched exactly, or nullptr and
// the system's reason.
void* findEntry(LibraryHandle library, const char* name, std::string& reason);

}  // namespace zorv::platform
