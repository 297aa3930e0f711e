// The eight exported C functions: each takes the session's lock, runs the
// operation and turns anything thrown into kInternal with a message, so no
// exception ever crosses the C boundary.
#include <exception>
#include <new>
#include <string>

#include "session.h"
#include "zorv.h"
#include "zorv_error.h"

namespace {

using zorv::lib::Session;

template <typename Operation>
int32_t guarded(char* buf, Operation&& operation) noexcept {
  Session& session = Session::instance();
  try {
    std::lock_guard<std::mutex> lock(session.mutex());
    try {
      return operation(session);
    } catch (const std::bad_alloc&) {
      session.setMessage("internal error: out of memory");
    } catch (const std::exception& e) {
      session.setMessage(std::string("internal error: ") + e.what());
    } catch (...) {
      session.setMessage("internal error");
    }
    if (buf != nullptr) buf[0] = '\0';
  } catch (...) {
    // Taking the lock failed; nothing was run.
  }
  return zorv::lib::kInternal;
}

int32_t nullArgument(Session& session) {
  session.setMessage("internal error: a required argument is a null pointer");
  return zorv::lib::kInternal;
}

}  // namespace

extern "C" {

ZORV_API int32_t ZORV_CALL ZORVlogin(const char* connection) {
  return guarded(nullptr, [&](Session& s) {
    return connection == nullptr ? nullArgument(s) : s.login(connection);
  });
}

ZORV_API int32_t ZORV_CALL ZORVclose(void) {
  return guarded(nullptr, [](Session& s) { return s.close(); });
}

ZORV_API int32_t ZORV_CALL ZORVcursor(const char* statement) {
  return guarded(nullptr, [&](Session& s) {
    return statement == nullptr ? nullArgument(s) : s.cursor(statement);
  });
}

ZORV_API int32_t ZORV_CALL ZORVfetch(char* buf) {
  return guarded(buf, [&](Session& s) { return buf == nullptr ? nullArgument(s) : s.fetch(buf); });
}

ZORV_API int32_t ZORV_CALL ZORVmsgget(char* buf) {
  return guarded(buf, [&](Session& s) { return buf == nullptr ? nullArgument(s) : s.msgGet(buf); });
}

ZORV_API int32_t ZORV_CALL ZORVexec(const char* statement, char* buf) {
  return guarded(buf, [&](Session& s) {
    return statement == nullptr || buf == nullptr ? nullArgument(s) : s.exec(statement, buf);
  });
}

ZORV_API int32_t ZORV_CALL ZORVstatus(void) {
  return guarded(nullptr, [](Session& s) { return s.status(); });
}

ZORV_API int32_t ZORV_CALL ZORVfnames(char* buf) {
  return guarded(buf, [&](Session& s) {
    return buf == nullptr ? nullArgument(s) : s.fieldNames(buf);
  });
}

}  // extern "C"
