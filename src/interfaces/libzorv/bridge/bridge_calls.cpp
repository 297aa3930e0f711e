#include "bridge_calls.h"

namespace zorv::bridge {

namespace {

using TextFn = ResultCode(ZORV_CALL*)(const char*);
using NoArgFn = ResultCode(ZORV_CALL*)();
using BufferFn = ResultCode(ZORV_CALL*)(char*);
using ExecFn = ResultCode(ZORV_CALL*)(const char*, char*);

template <typename Fn>
Fn entry(BridgeBindings& bindings, BridgeEntry which) {
  return reinterpret_cast<Fn>(bindings.bind(which));
}

}  // namespace

ResultCode callLogin(BridgeBindings& b, const char* connection) {
  return entry<TextFn>(b, BridgeEntry::Login)(connection);
}
ResultCode callClose(BridgeBindings& b) { return entry<NoArgFn>(b, BridgeEntry::Close)(); }
ResultCode callCursor(BridgeBindings& b, const char* statement) {
  return entry<TextFn>(b, BridgeEntry::Cursor)(statement);
}
ResultCode callFetch(BridgeBindings& b, char* buffer) {
  return entry<BufferFn>(b, BridgeEntry::Fetch)(buffer);
}
ResultCode callMsgGet(BridgeBindings& b, char* buffer) {
  return entry<BufferFn>(b, BridgeEntry::MsgGet)(buffer);
}
ResultCode callExec(BridgeBindings& b, const char* statement, char* buffer) {
  return entry<ExecFn>(b, BridgeEntry::Exec)(statement, buffer);
}
ResultCode callFNames(BridgeBindings& b, char* buffer) {
  return entry<BufferFn>(b, BridgeEntry::FNames)(buffer);
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
