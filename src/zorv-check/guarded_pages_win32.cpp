#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "guarded_pages.h"

namespace zorv::check::platform {

size_t pageSize() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}

void* mapPages(size_t pages) {
  void* base = VirtualAlloc(nullptr, pages * pageSize(), MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
  if (!base) {
    std::fprintf(stderr, "zorv-check: VirtualAlloc failed (error %lu)\n", GetLastError());
    std::_Exit(2);
  }
  return base;
}

void unmapPages(void* base, size_t) { VirtualFree(base, 0, MEM_RELEASE); }

void setAccess(void* base, size_t pages, Access access) {
  const DWORD protection = access == Access::ReadWrite  ? PAGE_READWRITE
                           : access == Access::ReadOnly ? PAGE_READONLY
                                                        : PAGE_NOACCESS;
  DWORD old = 0;
  if (!VirtualProtect(base, pages * pageSize(), protection, &old)) {
    std::fprintf(stderr, "zorv-check: VirtualProtect failed (error %lu)\n", GetLastError());
    std::_Exit(2);
  }
}

namespace {

FaultHook faultHook = nullptr;

// Sees an access violation first: the access runs again when the hook made
// its page accessible; otherwise the search for a handler goes on.
LONG CALLBACK onException(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2 &&
      faultHook && faultHook(static_cast<uintptr_t>(record->ExceptionInformation[1]))) {
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

// An exception nobody handled ends the process at once with its code, with
// no debugger or dialog started for it.
LONG WINAPI onUnhandled(EXCEPTION_POINTERS* pointers) {
  TerminateProcess(GetCurrentProcess(), pointers->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void onAccessFault(FaultHook hook) {
  faultHook = hook;
  AddVectoredExceptionHandler(1, onException);
  SetUnhandledExceptionFilter(onUnhandled);
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
}

}  // namespace zorv::check::platform
