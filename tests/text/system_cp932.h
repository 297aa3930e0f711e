#pragma once

#include <optional>
#include <string>

// The platform's own CP932 converter (glibc iconv; code page 932 on
// Windows, without best-fit forms), an oracle independent of our codec's
// lookups. Each is nullopt where the platform has no form for the input.
std::optional<std::string> systemCp932ToUtf8(const std::string& cp932);
std::optional<std::string> systemUtf8ToCp932(const std::string& utf8);
