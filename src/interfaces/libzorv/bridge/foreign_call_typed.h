#pragma once

// callForeign where there is one calling convention: a typed call by argument
// count, inline so that a call with a fixed count costs what the typed call
// costs. Included by foreign_call.h only.
#include <stdexcept>

namespace zorv::bridge {

// The bridge's functions take at most two arguments; four leaves room for
// checking tools.
inline ForeignCallResult callForeign(void* entry, std::span<void* const> args) {
  using P = void*;
  switch (args.size()) {
    case 0:
      return {reinterpret_cast<ResultCode (*)()>(entry)(), 0};
    case 1:
      return {reinterpret_cast<ResultCode (*)(P)>(entry)(args[0]), 0};
    case 2:
      return {reinterpret_cast<ResultCode (*)(P, P)>(entry)(args[0], args[1]), 0};
    case 3:
      return {reinterpret_cast<ResultCode (*)(P, P, P)>(entry)(args[0], args[1], args[2]), 0};
    case 4:
      return {reinterpret_cast<ResultCode (*)(P, P, P, P)>(entry)(args[0], args[1], args[2],
                                                                  args[3]),
              0};
    default:
      throw std::invalid_argument("callForeign: at most four arguments on this platform");
  }
}

}  // namespace zorv::bridge
