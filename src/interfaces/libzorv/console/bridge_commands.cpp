#include "bridge_commands.h"

#include "bridge_calls.h"
#include "narrow_text.h"

namespace zorv {

ResultCode BridgeCommands::open(std::u16string_view connection) {
  const NarrowCopy copy = narrowCopy(connection);
  return bridge::ZORVlogin(copy.data());
}

ResultCode BridgeCommands::cursor(std::u16string_view statement) {
  const NarrowCopy copy = narrowCopy(statement);
  return bridge::ZORVcursor(copy.data());
}

ResultCode BridgeCommands::close() { return bridge::ZORVclose(); }

ResultCode BridgeCommands::fetch() { return resultBuffer_.exchange(&bridge::ZORVfetch); }

ResultCode BridgeCommands::msgGet() { return resultBuffer_.exchange(&bridge::ZORVmsgget); }

// The statement's copy first, the buffer's copy second.
ResultCode BridgeCommands::exec(std::u16string_view statement) {
  const NarrowCopy copy = narrowCopy(statement);
  return resultBuffer_.exchange(
      [&copy](char* buffer) { return bridge::ZORVexec(copy.data(), buffer); });
}

ResultCode BridgeCommands::header() { return resultBuffer_.exchange(&bridge::ZORVfnames); }

}  // namespace zorv
