#include "foreign_call.h"

namespace zorv::bridge {

// One convention on this platform: a call through a pointer of the right
// argument count is the call.
ForeignCallResult callForeign(void* entry, std::span<void* const> args) {
  switch (args.size()) {
    case 0:
      return {reinterpret_cast<ResultCode (*)()>(entry)(), 0};
    case 1:
      return {reinterpret_cast<ResultCode (*)(void*)>(entry)(args[0]), 0};
    default:
      return {reinterpret_cast<ResultCode (*)(void*, void*)>(entry)(args[0], args[1]), 0};
  }
}

}  // namespace zorv::bridge
