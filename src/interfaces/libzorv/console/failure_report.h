#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "user_language.h"

namespace zorv {

// The text that reports `failure` to the user before the console ends, in
// UTF-8: a BridgeFailure is the bridge library that cannot be used (with what
// to do when the library is for the other bitness), anything else an
// internal failure of the console.
std::string failureReport(const std::exception_ptr& failure,
                          ReportLanguage language = userReportLanguage());

// Runs `handler`; returns nothing when it completes, the report of whatever
// it threw otherwise. The console's one edge where a failure stops.
template <typename Handler>
std::optional<std::string> failureOf(Handler&& handler) {
  try {
    handler();
    return std::nullopt;
  } catch (...) {
    return failureReport(std::current_exception());
  }
}

}  // namespace zorv
