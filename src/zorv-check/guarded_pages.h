#pragma once

#include <cstddef>
#include <cstdint>

// Pages whose access the checker sets by hand, and the one hook that learns
// the address of an access the pages refused. One file per platform.
namespace zorv::check::platform {

enum class Access { None, ReadOnly, ReadWrite };

size_t pageSize();

// Maps `pages` pages, inaccessible at first. Never fails: the checker cannot
// work without them, so a refusal ends the process with a message.
void* mapPages(size_t pages);
void unmapPages(void* base, size_t pages);
void setAccess(void* base, size_t pages, Access access);

// Called, in the faulting thread, with the address of an access that the
// page protection refused. When the hook has made that address accessible
// and returns true, the access runs again and the program goes on; otherwise
// the process dies of the fault (on Windows an unhandled exception ends it
// with the exception's code, no debugger). The hook may only store plain
// values and call setAccess.
using FaultHook = bool (*)(uintptr_t address);
void onAccessFault(FaultHook hook);

}  // namespace zorv::check::platform
