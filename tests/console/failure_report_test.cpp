#include <gtest/gtest.h>

#include <stdexcept>

#include "bridge_binding.h"
#include "failure_report.h"

namespace zorv {
namespace {

// Only a BridgeFailure is the library's fault; anything else must not be
// blamed on it.
TEST(FailureReport, NamesTheBridgeOnlyForBridgeFailures) {
  struct Case {
    std::exception_ptr failure;
    const char* starts;
    const char* holds;
  };
  const Case cases[] = {
      {std::make_exception_ptr(BridgeFailure("libzorv.dll", "ZORVfnames", "not exported")),
       "The bridge library cannot be used; the console ends.\n\n", "ZORVfnames"},
      {std::make_exception_ptr(std::bad_alloc()), "The console met an internal failure and ends.\n\n",
       "bad_alloc"},
      {std::make_exception_ptr(42), "The console met an internal failure of unknown kind", ""},
  };
  for (const Case& c : cases) {
    const std::string report = failureReport(c.failure);
    EXPECT_EQ(report.rfind(c.starts, 0), 0u) << report;
    EXPECT_NE(report.find(c.holds), std::string::npos) << report;
  }
  EXPECT_FALSE(failureOf([] {}).has_value());
}

}  // namespace
}  // namespace zorv
