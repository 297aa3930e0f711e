/* The bridge library's public interface: eight C functions the test console
 * calls. Every text argument is a NUL-terminated CP932 text; every answer is
 * written as CP932 into the caller's buffer, NUL-terminated, never past its
 * first ZORV_ANSWER_CAPACITY bytes. */
#ifndef ZORV_H
#define ZORV_H

#include <stdint.h>

/* The calling convention: the standard call of 32-bit Windows there, the
 * platform's default everywhere else. */
#ifndef ZORV_CALL
#if defined(_WIN32) && !defined(_WIN64)
#define ZORV_CALL __stdcall
#else
#define ZORV_CALL
#endif
#endif

/* Marks the eight exported functions; everything else stays hidden. On
 * Windows the DLL's .def file alone names the exports: dllexport beside it
 * would export the 32-bit stdcall names a second time, decorated
 * (ZORVlogin@4). */
#if defined(_WIN32)
#if defined(ZORV_BUILDING_LIBRARY)
#define ZORV_API
#else
#define ZORV_API __declspec(dllimport)
#endif
#elif defined(ZORV_BUILDING_LIBRARY)
#define ZORV_API __attribute__((visibility("default")))
#else
#define ZORV_API
#endif

/* Bytes of an answer buffer the library may write, its ending NUL included. */
#define ZORV_ANSWER_CAPACITY 8192

/* Result codes. Append-only: a number once given keeps its meaning.
 * Where several apply, the numerically lowest is returned. */
#define ZORV_OK               0   /* success */
#define ZORV_CUT              1   /* success, the answer was cut to fit the buffer */
#define ZORV_REPLACED         2   /* success, characters without a CP932 form were written as '?' */
#define ZORV_NO_MORE_ROWS   100   /* the cursor has no more rows; the answer is empty */
#define ZORV_NOT_CONNECTED   (-1) /* no connection is open */
#define ZORV_NO_CURSOR       (-2) /* no cursor is open */
#define ZORV_CONNECT_FAILED  (-3) /* opening the connection failed, or the open one was lost */
#define ZORV_STATEMENT_FAILED (-4) /* the database failed or refused the statement; its message is kept */
#define ZORV_BAD_CONNECTION_TEXT (-5) /* the connection text cannot be parsed; nothing changed */
#define ZORV_BAD_TEXT        (-6) /* a text argument is not valid CP932; nothing was run */
#define ZORV_INTERNAL        (-9) /* an internal error in the library */

/* ZORVstatus answers. */
#define ZORV_STATUS_CLOSED      0 /* not connected */
#define ZORV_STATUS_CONNECTED   1 /* connected, no cursor open */
#define ZORV_STATUS_CURSOR_OPEN 2 /* connected with an open cursor */

#ifdef __cplusplus
extern "C" {
#endif

/* Opens a connection described by blank-separated keyword=value pairs:
 * file=PATH [mode=ro|rw|rwc] for an embedded database, anything else for a
 * database server; an empty text opens a private in-memory database. */
ZORV_API int32_t ZORV_CALL ZORVlogin(const char* connection);
/* Ends the connection, closing its cursor. */
ZORV_API int32_t ZORV_CALL ZORVclose(void);
/* Opens a cursor over one read-only query, closing any open cursor first. */
ZORV_API int32_t ZORV_CALL ZORVcursor(const char* statement);
/* Writes the cursor's next row, fields separated by TAB, NULL as empty. */
ZORV_API int32_t ZORV_CALL ZORVfetch(char* buf);
/* Writes the latest message: empty after a success with nothing to say. */
ZORV_API int32_t ZORV_CALL ZORVmsgget(char* buf);
/* Runs one statement and writes its rows (CR LF lines, field names first)
 * or the number of rows it changed. */
ZORV_API int32_t ZORV_CALL ZORVexec(const char* statement, char* buf);
/* 0 not connected, 1 connected, 2 connected with an open cursor. */
ZORV_API int32_t ZORV_CALL ZORVstatus(void);
/* Writes the open cursor's field names, separated by TAB. */
ZORV_API int32_t ZORV_CALL ZORVfnames(char* buf);

#ifdef __cplusplus
}
#endif

#endif /* ZORV_H */
