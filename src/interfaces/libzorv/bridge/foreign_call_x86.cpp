#include "foreign_call.h"

// The routine in foreign_call_x86.S: the callee's result in the low half, the
// bytes it took off the stack in the high half.
extern "C" std::uint64_t zorvForeignCallX86(void* entry, void* const* args, std::uint32_t count);

namespace zorv::bridge {

ForeignCallResult callForeign(void* entry, std::span<void* const> args) {
  const std::uint64_t both =
      zorvForeignCallX86(entry, args.data(), static_cast<std::uint32_t>(args.size()));
  return {static_cast<ResultCode>(static_cast<std::uint32_t>(both)),
          static_cast<std::uint32_t>(both >> 32)};
}

}  // namespace zorv::bridge
