#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace zorv::trace::platform {

// The file the code of the trace library was loaded from, or an empty path
// when the system cannot tell.
std::filesystem::path ownLibraryFile();

// The ids the system gives the running process and the calling thread.
int64_t processId();
int64_t threadId();

// The value of the environment variable `name` as UTF-8, or nothing when it
// is unset or empty.
std::optional<std::string> environmentValue(const char* name);

// The record header's name of this build's platform: "linux-x64",
// "windows-x64" or "windows-x86".
extern const char* const kPlatformName;

}  // namespace zorv::trace::platform
