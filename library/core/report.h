/* Failure reports: WinINet and system failures, the library's own messages. */
#ifndef BREVANTO_REPORT_H
#define BREVANTO_REPORT_H

#include "../host/host.h"

DWORD ReportFailure(HOSTCTX ctx, RESULTSLOT *slot);
DWORD ReportMessage(HOSTCTX ctx, RESULTSLOT *slot, LPCSTR *inserts, LPCSTR message, DWORD number);
DWORD ReportResourceMessage(HOSTCTX ctx, RESULTSLOT *slot, LPCSTR *inserts, UINT number);
DWORD ReportSystemFailure(HOSTCTX ctx, RESULTSLOT *slot);
BYTE CompareNoCase(LPCSTR a, LPCSTR b, DWORD count);

/* The ErrorCode for a value the interpreter would not store under `name` (argument `position`). */
DWORD StoreFailure(LPCSTR name, DWORD reason, DWORD position);

#endif
