// The eight bridge entries of the trace library, each forwarding through
// the process's one Tracer. Nothing here throws across the C boundary.
#include <chrono>

#include "bridge_calls.h"
#include "tracer.h"
#include "zorv.h"

namespace {

using zorv::BridgeBindings;
using zorv::BridgeEntry;
namespace bridge = zorv::bridge;

// When the trace library was loaded: the record header's "started".
const auto kLoaded = std::chrono::system_clock::now();

zorv::trace::Tracer& tracer();

// Ends the record with its closing line when the library is unloaded: by
// dlclose or FreeLibrary, or as the process ends normally.
struct Finisher {
  ~Finisher() { tracer().finish(); }
} finisher;

}  // namespace

extern "C" {

ZORV_API int32_t ZORV_CALL ZORVlogin(const char* connection) {
  return tracer().call(BridgeEntry::Login, connection, nullptr,
                       [&](BridgeBindings& b) { return bridge::callLogin(b, connection); });
}

ZORV_API int32_t ZORV_CALL ZORVclose(void) {
  return tracer().call(BridgeEntry::Close, nullptr, nullptr,
                       [](BridgeBindings& b) { return bridge::callClose(b); });
}

ZORV_API int32_t ZORV_CALL ZORVcursor(const char* statement) {
  return tracer().call(BridgeEntry::Cursor, statement, nullptr,
                       [&](BridgeBindings& b) { return bridge::callCursor(b, statement); });
}

ZORV_API int32_t ZORV_CALL ZORVfetch(char* buf) {
  return tracer().call(BridgeEntry::Fetch, nullptr, buf,
                       [&](BridgeBindings& b) { return bridge::callFetch(b, buf); });
}

ZORV_API int32_t ZORV_CALL ZORVmsgget(char* buf) {
  return tracer().call(BridgeEntry::MsgGet, nullptr, buf,
                       [&](BridgeBindings& b) { return bridge::callMsgGet(b, buf); });
}

ZORV_API int32_t ZORV_CALL ZORVexec(const char* statement, char* buf) {
  return tracer().call(BridgeEntry::Exec, statement, buf,
                       [&](BridgeBindings& b) { return bridge::callExec(b, statement, buf); });
}

ZORV_API int32_t ZORV_CALL ZORVstatus(void) {
  return tracer().call(BridgeEntry::Status, nullptr, nullptr,
                       [](BridgeBindings& b) { return bridge::callStatus(b); });
}

ZORV_API int32_t ZORV_CALL ZORVfnames(char* buf) {
  return tracer().call(BridgeEntry::FNames, nullptr, buf,
                       [&](BridgeBindings& b) { return bridge::callFNames(b, buf); });
}

}  // extern "C"

namespace {

// Never destroyed: a thread may still call while the process ends.
zorv::trace::Tracer& tracer() {
  static auto* const instance = new zorv::trace::Tracer(
      {reinterpret_cast<const void*>(&ZORVlogin), reinterpret_cast<const void*>(&ZORVclose),
       reinterpret_cast<const void*>(&ZORVcursor), reinterpret_cast<const void*>(&ZORVfetch),
       reinterpret_cast<const void*>(&ZORVmsgget), reinterpret_cast<const void*>(&ZORVexec),
       reinterpret_cast<const void*>(&ZORVstatus), reinterpret_cast<const void*>(&ZORVfnames)},
      kLoaded);
  return *instance;
}

}  // namespace
