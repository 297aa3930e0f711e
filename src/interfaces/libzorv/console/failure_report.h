#pragma once

#include <exception>
#include <optional>
#include <string>

namespace zorv {

// The text that reports `failure` to the user before the console ends, in
// UTF-8: a BridgeFailure is the bridge library that cannot be used, anything
// else an internal failure of the console.
std::string failureReport(const std::exception_ptr& failure);

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
