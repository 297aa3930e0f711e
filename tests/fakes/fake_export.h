#pragma once

#include "two_conventions.h"

// Exported under its plain C name, as the bridge library's entries are.
#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// One of the bridge's entries. On 32-bit Windows a library may use either
// calling convention: the fakes are built in stdcall, as most such libraries
// are, and with FAKE_CDECL in cdecl; their plain names come from the linker
// (--kill-at). The test-side controls (fakeReset...) stay FAKE_EXPORT.
#if ZORV_TWO_CONVENTIONS && defined(FAKE_CDECL)
#define FAKE_ENTRY FAKE_EXPORT __attribute__((cdecl))
#elif ZORV_TWO_CONVENTIONS
#define FAKE_ENTRY FAKE_EXPORT __attribute__((stdcall))
#else
#define FAKE_ENTRY FAKE_EXPORT
#endif
