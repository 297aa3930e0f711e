#include "child_supervisor.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <thread>

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

void superviseChildren(std::vector<WatchedChild>& children, double timeoutSeconds,
                       const std::function<void(const std::vector<bool>&)>& eachPass) {
  const auto limit = std::chrono::duration<double>(timeoutSeconds);
  const auto start = std::chrono::steady_clock::now();
  std::vector<uint32_t> seen(children.size(), 0);
  std::vector<std::chrono::steady_clock::time_point> lastStart(children.size(), start);
  std::vector<bool> ended(children.size(), false);
  for (;;) {
    bool all = true;
    for (size_t k = 0; k < children.size(); ++k) {
      WatchedChild& watched = children[k];
      if (!ended[k]) ended[k] = watched.child->wait(0);
      if (ended[k]) continue;
      all = false;
      // inCall first: a call counted after this read is seen as a new one,
      // never as the last one still running after a long pause between calls.
      const bool inCall = watched.board->inCall.load();
      const uint32_t calls = watched.board->calls.load();
      const auto now = std::chrono::steady_clock::now();
      if (calls != seen[k]) {
        seen[k] = calls;
        lastStart[k] = now;
      } else if (inCall && now - lastStart[k] > limit) {
        watched.child->kill();
        watched.child->wait(60000);
        watched.timedOut = true;
        ended[k] = true;
      }
    }
    eachPass(ended);
    if (all) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
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
