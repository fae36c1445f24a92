/*
 * host.h: what brevanto passes to the Halvorin interpreter and relies on.
 *
 * The interpreter hands the library a table of 23 service entries through
 * its "RexxGetHalvorinFuncs" export; the library hands the interpreter its
 * function names and a table of handlers. Both sides include this header.
 *
 * 64-bit port: the records below were 32-bit words on 32-bit Windows. Every
 * field that holds an address (service and handler addresses, the result
 * word, the table rows' link word, handle values passed through GetVar and
 * SetVar) is pointer-sized here; every other field keeps its 32-bit or
 * 8-bit width.
 *
 * The rules the interpreter follows for each service (name forms, number
 * forms, keyword matching, ownership of strings) are in interpreter/README.md.
 */
#ifndef BREVANTO_HOST_H
#define BREVANTO_HOST_H

#include <stddef.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The interpreter's call context and argument list: opaque to the library. */
typedef struct HOSTCTX__ *HOSTCTX;
typedef struct HOSTARGS__ *HOSTARGS;

/* The three words a handler reports through. */
typedef struct RESULTSLOT {
    ULONG_PTR Value;    /* host string address (MakeString), 0 = no result */
    ULONG_PTR Reserved; /* the interpreter's; the library leaves it alone */
    LONG ErrorMode;     /* which condition a report raises, see below */
} RESULTSLOT;

/* A REXX function of the library. Returns an ErrorCode, 0 = success. */
typedef DWORD(WINAPI *HANDLERPROC)(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot);

/* One row of the function table, packed as the interpreter reads it. */
#pragma pack(push, 1)
typedef struct FUNCTIONROW {
    ULONG_PTR Link;      /* 0 at start; the interpreter's, never touched by the library */
    HANDLERPROC Handler;
    BYTE MinArgs;
    BYTE MaxArgs;
} FUNCTIONROW;
#pragma pack(pop)

/* ---- the services ---- */

/* GetVar flags (value word "out" on entry and exit, see each flag). */
#define HOST_VAR_NUMBER 0x04000000u          /* number or handle value into out */
#define HOST_VAR_TEXT 0x90000000u            /* returns the text address, its length into out */
#define HOST_VAR_ELEMENT 0x08000000u         /* stem element, index in out on entry; text, length into out */
#define HOST_VAR_ELEMENT_REASON 0x09000000u  /* stem element, index in out; zero-terminated text, reason on failure */
/* SetVar flags */
#define HOST_SET_STRING 0x00000000u          /* value is a MakeString string, taken over; value 0 drops */
#define HOST_SET_NUMBER 0x04000000u          /* value is a number (or handle value) */
#define HOST_SET_ELEMENT 0x08000000u         /* + index: stem element, value a string (0 = no text) */
#define HOST_SET_ELEMENT_NUMBER 0x0C000000u  /* + index: stem element, value a number */
#define HOST_SET_FINDRECORD 0x0020001Eu      /* value is the address of a WIN32_FIND_DATAA */
#define HOST_SET_INDEX 0x00FFFFFFu           /* the element index in the two element flags */

/* Failure reasons GetVar leaves in out and SetVar returns. */
#define HOST_REASON_NO_MEMORY 5u   /* the interpreter ran out of memory */
#define HOST_REASON_NOT_HANDLE 26u /* the value is not a whole number usable as a handle value */
#define HOST_REASON_BAD_NAME 31u   /* no name, or not a variable symbol */
#define HOST_REASON_BAD_CALL 40u   /* flags, value or context the service does not take */
#define HOST_REASON_NOT_SET 45u    /* the variable or element has no value */

/* MakeString modes. */
#define HOST_STR_FRESH 0x00000000u   /* a string of `length` bytes for the caller to fill */
#define HOST_STR_COPY 0x10000000u    /* copy `length` bytes of text, HOST_STR_TO_ZERO: up to its zero byte */
#define HOST_STR_DECIMAL 0x80000000u /* the decimal text of `length` */
#define HOST_STR_FORMAT 0x20000000u  /* text with each "%_" replaced in turn by the inserts at `length` */
#define HOST_STR_TO_ZERO ((ULONG_PTR)-1)

/* ParseKeywords and GetArg flags, OR'd with an argument number (or a text length). */
#define HOST_KW_ARGUMENT 0x10000000u /* keywords from argument n, else from the text given with length n */
#define HOST_KW_SINGLE 0x40000000u   /* exactly one keyword, else any number OR'd */
#define HOST_ARG_NUMBER 0x80000000u  /* argument as an unsigned whole number */
#define HOST_ARG_INDEX 0x0000FFFFu
#define HOST_KW_TEXT_LENGTH 0x0FFFFFFFu /* the text length when HOST_KW_ARGUMENT is not set */

/* StrToNum flags. */
#define HOST_NUM_WHOLE 0x80000000u /* the whole text must be the number, else 0 */

/* GetCallerName flag. */
#define HOST_CALLER_NAME 0x04000000u

typedef ULONG_PTR(WINAPI *GETVARPROC)(HOSTCTX ctx, LPCSTR name, ULONG_PTR reserved, ULONG_PTR *out, DWORD flags);
typedef DWORD(WINAPI *SETVARPROC)(HOSTCTX ctx, LPCSTR name, ULONG_PTR reserved, ULONG_PTR value, DWORD flags);
typedef LPSTR(WINAPI *MAKESTRINGPROC)(HOSTCTX ctx, ULONG_PTR text, ULONG_PTR length, DWORD mode);
typedef void(WINAPI *FREEMEMPROC)(LPVOID memory);
typedef DWORD(WINAPI *REGISTERFUNCTIONSPROC)(ULONG_PTR reserved, LPCSTR library, const BYTE *names,
                                             FUNCTIONROW *table, DWORD param);
typedef LPCSTR(WINAPI *GETDEFAULTNAMEPROC)(HOSTCTX ctx, DWORD which);
typedef ULONG_PTR(WINAPI *GETCALLERNAMEPROC)(HOSTCTX ctx, ULONG_PTR *out, DWORD flags, ULONG_PTR reserved);
typedef LPSTR(WINAPI *GETARGCOPYPROC)(HOSTCTX ctx, HOSTARGS args, DWORD n);
typedef ULONG_PTR(WINAPI *PARSEKEYWORDSPROC)(HOSTCTX ctx, LPCVOID argsOrText, DWORD flags, const BYTE *keywords,
                                             const DWORD *values, DWORD *out, ULONG_PTR reserved);
typedef LPCSTR(WINAPI *GETARGPROC)(HOSTCTX ctx, HOSTARGS args, DWORD flags, DWORD *out);
typedef BOOL(WINAPI *ARGGIVENPROC)(HOSTARGS args, DWORD n);
typedef DWORD(WINAPI *STRTONUMPROC)(LPCSTR text, DWORD length, LPCSTR *end, DWORD flags);

/* The table the interpreter fills: 23 entries, the library uses twelve. */
typedef struct HOSTSERVICES {
    GETVARPROC GetVar;                       /*  0 */
    SETVARPROC SetVar;                       /*  1 */
    FARPROC Entry2, Entry3, Entry4;          /*  2-4, not used */
    MAKESTRINGPROC MakeString;               /*  5 */
    FREEMEMPROC FreeMem;                     /*  6 */
    REGISTERFUNCTIONSPROC RegisterFunctions; /*  7 */
    FARPROC Entry8, Entry9, Entry10, Entry11, Entry12, Entry13;
    GETDEFAULTNAMEPROC GetDefaultName;       /* 14 */
    GETCALLERNAMEPROC GetCallerName;         /* 15 */
    FARPROC Entry16;
    GETARGCOPYPROC GetArgCopy;               /* 17 */
    PARSEKEYWORDSPROC ParseKeywords;         /* 18 */
    GETARGPROC GetArg;                       /* 19 */
    ARGGIVENPROC ArgGiven;                   /* 20 */
    STRTONUMPROC StrToNum;                   /* 21 */
    FARPROC Entry22;
} HOSTSERVICES;

#define HOST_SERVICE_COUNT 23
#define HOST_INTERFACE_LEVEL 335

/* "RexxGetHalvorinFuncs": fills `size` bytes of the table. */
typedef DWORD(WINAPI *GETHALVORINFUNCSPROC)(HOSTSERVICES *table, DWORD size, DWORD level);
#define HOST_GETFUNCS_EXPORT "RexxGetHalvorinFuncs"
#define HOST_MODULE_NAME "halvorin.dll"

/* The library's export the interpreter calls: reason 1 register, 0 script over. */
typedef DWORD(WINAPI *REXXFEEDBACKPROC)(DWORD reason, DWORD param);
#define LIBRARY_FEEDBACK_EXPORT "RexxFeedback"
#define FEEDBACK_END_OF_SCRIPT 0u
#define FEEDBACK_REGISTER 1u

/* ---- ErrorCodes and ErrorMode ---- */

/* An argument error: REXX error 40.minor for argument `position`. */
#define ARGUMENT_ERROR(minor, position) (0x28u | ((DWORD)(position) << 8) | ((DWORD)(minor) << 16))
#define ERRORCODE_MAJOR(code) ((code) & 0xFFu)
#define ERRORCODE_POSITION(code) (((code) >> 8) & 0xFFu)
#define ERRORCODE_MINOR(code) (((code) >> 16) & 0xFFu)

#define REXX_ERROR_RESOURCES 5u      /* system resources exhausted */
#define REXX_ERROR_INCORRECT_CALL 40u
#define MINOR_ARGUMENT_MISSING 5u    /* 40.5 */
#define MINOR_NOT_NONNEGATIVE 13u    /* 40.13 */
#define MINOR_NOT_POSITIVE 14u       /* 40.14 */
#define MINOR_ZERO_BYTE 22u          /* 40.22: a text holds a zero byte where none can go */
#define MINOR_NOT_SYMBOL 26u         /* 40.26: not a valid variable name */
#define MINOR_NOT_KEYWORD 28u        /* 40.28 */

/* Report codes: a message is in the ResultSlot. */
#define REPORT_HEADING 0x280000FBu       /* INETHEADING set */
#define REPORT_PLAIN 0x310000FBu         /* INETHEADING not set */
#define REPORT_BAD_INETERR_HEADING 0x28000000u
#define REPORT_BAD_INETERR_PLAIN 0x31000000u
#define IS_REPORT_CODE(code) (((code) & 0x00FFFFFFu) == 0xFBu || (code) == 0x28000000u || (code) == 0x31000000u)

#define ERRORMODE_NONE (-1)     /* the ResultSlot value is the result; internal calls */
#define ERRORMODE_ERROR 0
#define ERRORMODE_FAILURE 1
#define ERRORMODE_SYNTAX 5
#define ERRORMODE_USER_BASE 6   /* 7..206: USER condition ErrorMode - 6 */

#ifdef __cplusplus
}
#endif

/* Both sides read these records by offset; a change of layout breaks the other side silently. */
#ifdef __cplusplus
#define HOST_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define HOST_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif
HOST_STATIC_ASSERT(sizeof(FUNCTIONROW) == 2 * sizeof(void *) + 2, "FUNCTIONROW is packed");
HOST_STATIC_ASSERT(offsetof(FUNCTIONROW, MinArgs) == 2 * sizeof(void *), "FUNCTIONROW.MinArgs");
HOST_STATIC_ASSERT(offsetof(RESULTSLOT, ErrorMode) == 2 * sizeof(ULONG_PTR), "RESULTSLOT.ErrorMode");
HOST_STATIC_ASSERT(sizeof(HOSTSERVICES) == HOST_SERVICE_COUNT * sizeof(void *), "HOSTSERVICES has 23 entries");
HOST_STATIC_ASSERT(offsetof(HOSTSERVICES, GetDefaultName) == 14 * sizeof(void *), "HOSTSERVICES.GetDefaultName");
HOST_STATIC_ASSERT(offsetof(HOSTSERVICES, StrToNum) == 21 * sizeof(void *), "HOSTSERVICES.StrToNum");
#undef HOST_STATIC_ASSERT

#endif /* BREVANTO_HOST_H */
