#include "bridge_calls.h"

#include "foreign_call.h"

namespace zorv::bridge {

namespace {

// The bridge's arguments are all pointers; a const text goes as a plain
// pointer the callee only reads.
template <typename... Args>
ResultCode callEntry(BridgeBindings& bindings, BridgeEntry which, Args... args) {
  void* const argv[] = {const_cast<void*>(static_cast<const void*>(args))..., nullptr};
  return callForeign(bindings.bind(which), std::span<void* const>(argv, sizeof...(Args))).code;
}

}  // namespace

ResultCode callLogin(BridgeBindings& b, const char* connection) {
  return callEntry(b, BridgeEntry::Login, connection);
}
ResultCode callClose(BridgeBindings& b) { return callEntry(b, BridgeEntry::Close); }
ResultCode callCursor(BridgeBindings& b, const char* statement) {
  return callEntry(b, BridgeEntry::Cursor, statement);
}
ResultCode callFetch(BridgeBindings& b, char* buffer) {
  return callEntry(b, BridgeEntry::Fetch, buffer);
}
ResultCode callMsgGet(BridgeBindings& b, char* buffer) {
  return callEntry(b, BridgeEntry::MsgGet, buffer);
}
ResultCode callExec(BridgeBindings& b, const char* statement, char* buffer) {
  return callEntry(b, BridgeEntry::Exec, statement, buffer);
}
ResultCode callStatus(BridgeBindings& b) { return callEntry(b, BridgeEntry::Status); }
ResultCode callFNames(BridgeBindings& b, char* buffer) {
  return callEntry(b, BridgeEntry::FNames, buffer);
}

ResultCode ZORVlogin(const char* connection) { return callLogin(processBindings(), connection); }
ResultCode ZORVclose() { return callClose(processBindings()); }
ResultCode ZORVcursor(const char* statement) { return callCursor(processBindings(), statement); }
ResultCode ZORVfetch(char* buffer) { return callFetch(processBindings(), buffer); }
ResultCode ZORVmsgget(char* buffer) { return callMsgGet(processBindings(), buffer); }
ResultCode ZORVexec(const char* statement, char* buffer) {
  return callExec(processBindings(), statement, buffer);
}
ResultCode ZORVfnames(char* buffer) { return callFNames(processBindings(), buffer); }

}  // namespace zorv::bridge
