#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// The zorv-trace record's format, in one place for the trace library that
// writes it and zorv-check that reads it back: the header's names, the line
// kinds, the masking flag and the form of a text.
namespace zorv::trace {

using Json = nlohmann::ordered_json;

inline constexpr std::string_view kFormatName = "zorv-trace";
inline constexpr int kFormatVersion = 1;

// Every line after the header has a "phase": a call's line before it reached
// the bridge and the line after it returned, the closing line written when
// the library is unloaded, and the line that marks a record cut short.
inline constexpr std::string_view kPhaseCall = "call";
inline constexpr std::string_view kPhaseReturn = "return";
inline constexpr std::string_view kPhaseEnd = "end";
inline constexpr std::string_view kPhaseCut = "cut";

// The header's name of the platform a record was made on, this build's:
// "linux-x64", "windows-x64" or "windows-x86". A record made on one replays
// on any other.
extern const char* const kThisPlatform;

// On a call line: true when a secret in its text was masked.
inline constexpr const char* kMaskedField = "masked";

// The record's form of CP932 bytes: a JSON string (UTF-8) when the bytes
// decode from CP932 and encode back to the very same bytes, otherwise
// {"hex": the bytes in lowercase hexadecimal}.
Json recordedText(std::string_view bytes);
// The same, appended to `out` as JSON text.
void appendRecordedText(std::string& out, std::string_view bytes);

// Reads a recorded text back into its exact bytes. A string is taken only
// when every character of it has a CP932 form (what the writer writes);
// hexadecimal digits in either case. Answers what is wrong with `value`, or
// an empty string when `bytes` holds its bytes.
std::string readRecordedText(const Json& value, std::string& bytes);

// The exact bytes a recorded text stands for, or nothing when `value` is no
// recorded text.
std::optional<std::string> bytesOfRecordedText(const Json& value);

// The value of a hexadecimal digit, either case; -1 for any other character.
int hexDigit(char c);

}  // namespace zorv::trace
