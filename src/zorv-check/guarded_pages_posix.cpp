#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "guarded_pages.h"

namespace zorv::check::platform {

size_t pageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

void* mapPages(size_t pages) {
  void* base = mmap(nullptr, pages * pageSize(), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) {
    std::perror("zorv-check: mmap");
    std::_Exit(2);
  }
  return base;
}

void unmapPages(void* base, size_t pages) { munmap(base, pages * pageSize()); }

void setAccess(void* base, size_t pages, Access access) {
  const int protection = access == Access::ReadWrite  ? PROT_READ | PROT_WRITE
                         : access == Access::ReadOnly ? PROT_READ
                                                      : PROT_NONE;
  if (mprotect(base, pages * pageSize(), protection) != 0) {
    std::perror("zorv-check: mprotect");
    std::_Exit(2);
  }
}

namespace {

FaultHook faultHook = nullptr;

// Whether the signal was sent (raise, kill, sigqueue, a runtime that sends
// it again) rather than raised by the processor for a refused access: then
// si_addr holds no address and no access runs again on return.
bool sentSignal(const siginfo_t* info) { return info->si_code <= 0; }

// Returning runs the faulting access again: it succeeds when the hook made
// its page accessible; otherwise the default action is back and the process
// dies of the signal. A sent signal never reaches the hook: it is sent again
// with the default action back, so the process dies of it as it would have
// without the guard.
void onSignal(int signal, siginfo_t* info, void*) {
  if (!sentSignal(info) && faultHook &&
      faultHook(reinterpret_cast<uintptr_t>(info->si_addr))) {
    return;
  }
  ::signal(signal, SIG_DFL);
  if (sentSignal(info)) ::raise(signal);
}

}  // namespace

void onAccessFault(FaultHook hook) {
  faultHook = hook;
  struct sigaction action {};
  action.sa_sigaction = onSignal;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  sigaction(SIGSEGV, &action, nullptr);
  sigaction(SIGBUS, &action, nullptr);
}

}  // namespace zorv::check::platform
