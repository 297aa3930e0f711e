#pragma once

// The one test for 32-bit Windows, the only platform where a bridge function
// may be built with either of two calling conventions (stdcall, where the
// callee takes its arguments off the stack, or cdecl). ZORV_TWO_CONVENTIONS
// is for the preprocessor (declarations and attributes that exist only
// there), kTwoConventions for code. zorv.h, which must stand alone for any
// user of the library, spells the same test for its ZORV_CALL.
#if defined(_WIN32) && !defined(_WIN64)
#define ZORV_TWO_CONVENTIONS 1
#else
#define ZORV_TWO_CONVENTIONS 0
#endif

namespace zorv::bridge {

inline constexpr bool kTwoConventions = ZORV_TWO_CONVENTIONS != 0;

}  // namespace zorv::bridge
