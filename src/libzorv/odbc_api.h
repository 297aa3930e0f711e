#pragma once

// The ODBC API headers. Windows' own declare their types with the system's
// (HWND, WCHAR), so the system header comes first there; nothing else
// differs.
#if defined(_WIN32)
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC wide text is UTF-16");
