#pragma once

#include "bridge_binding.h"

namespace zorv::bridge {

// One call operation per called bridge function, through the process's
// bindings. Every call goes through callForeign, so on 32-bit Windows a
// stdcall and a cdecl library both work. A text argument is a narrow copy the library only reads; a
// buffer is a narrow copy it may write. Each returns the library's result
// unchanged, or throws BridgeFailure before calling anything.
ResultCode ZORVlogin(const char* connection);
ResultCode ZORVclose();
ResultCode ZORVcursor(const char* statement);
ResultCode ZORVfetch(char* buffer);
ResultCode ZORVmsgget(char* buffer);
ResultCode ZORVexec(const char* statement, char* buffer);
ResultCode ZORVfnames(char* buffer);

// The same call operations against any set of bindings.
ResultCode callLogin(BridgeBindings& bindings, const char* connection);
ResultCode callClose(BridgeBindings& bindings);
ResultCode callCursor(BridgeBindings& bindings, const char* statement);
ResultCode callFetch(BridgeBindings& bindings, char* buffer);
ResultCode callMsgGet(BridgeBindings& bindings, char* buffer);
ResultCode callExec(BridgeBindings& bindings, const char* statement, char* buffer);
ResultCode callStatus(BridgeBindings& bindings);
ResultCode callFNames(BridgeBindings& bindings, char* buffer);

}  // namespace zorv::bridge
