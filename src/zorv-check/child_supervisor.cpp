#include "child_supervisor.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "guarded_pages.h"
#include "report.h"

namespace zorv::check {

namespace {

std::string hexAddress(uintptr_t address) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%" PRIxPTR, address);
  return text;
}

Board* childBoard = nullptr;

// In a child: an access to an argument's pages is recorded and let through,
// so the run goes on; any other fault ends the child.
bool recordFault(uintptr_t address) {
  Board* board = childBoard;
  if (!board) return false;
  for (const Region& region : board->regions) {
    if (region.pages == 0 || address < region.pagesStart || address >= region.guardEnd) continue;
    const uint32_t n = board->faultCount.fetch_add(1);
    if (n < Board::kFaults) {
      Fault& fault = board->faults[n];
      fault.address = address;
      fault.region = region;
      fault.entry = board->entry;
      std::memcpy(fault.call, board->call, sizeof fault.call);
    }
    platform::setAccess(reinterpret_cast<void*>(region.pagesStart), region.pages,
                        platform::Access::ReadWrite);
    return true;
  }
  board->faultAddress.store(address);
  board->faulted.store(1);
  return false;
}

}  // namespace

std::vector<std::string> childArguments(const std::string& task,
                                        const std::vector<std::string>& arguments) {
  std::vector<std::string> out{kChildArgument, task};
  out.insert(out.end(), arguments.begin(), arguments.end());
  return out;
}

void endChildOnFault() { platform::onAccessFault(recordFault); }

void guardChild(Board& board) {
  childBoard = &board;
  platform::onAccessFault(recordFault);
}

bool superviseChild(platform::ChildProcess& child, const Board& board, double timeoutSeconds) {
  const auto limit = std::chrono::duration<double>(timeoutSeconds);
  uint32_t seen = 0;
  auto lastStart = std::chrono::steady_clock::now();
  while (!child.wait(20)) {
    const uint32_t calls = board.calls.load();
    const auto now = std::chrono::steady_clock::now();
    if (calls != seen) {
      seen = calls;
      lastStart = now;
    } else if (board.inCall.load() && now - lastStart > limit) {
      child.kill();
      child.wait(60000);
      return true;
    }
  }
  return false;
}

std::string endSentence(const Board& board, const platform::ChildEnd& end, bool timedOut,
                        double timeoutSeconds) {
  const std::string call = board.call;
  if (timedOut) return "did not return within " + seconds(timeoutSeconds) + " s, on its " + call;
  if (!end.crashed && end.code == 0) return "";
  if (!board.inCall.load()) {
    return "the process " + end.how + " after its " + call + " had returned";
  }
  if (end.crashed && board.faulted.load()) {
    return "crashed: " + end.how + " at address " + hexAddress(board.faultAddress.load()) +
           ", on its " + call;
  }
  return (end.crashed ? "crashed: " : "ended the process: ") + end.how + ", on its " + call;
}

}  // namespace zorv::check
