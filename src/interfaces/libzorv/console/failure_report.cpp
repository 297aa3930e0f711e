#include "failure_report.h"

#include "bridge_binding.h"

namespace zorv {

std::string failureReport(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const BridgeFailure& bridge) {
    return std::string("The bridge library cannot be used; the console ends.\n\n") + bridge.what();
  } catch (const std::exception& other) {
    return std::string("The console met an internal failure and ends.\n\n") + other.what();
  } catch (...) {
    return "The console met an internal failure of unknown kind and ends.";
  }
}

}  // namespace zorv
