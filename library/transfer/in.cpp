// InetIn: reading from the current handle into a variable.
#include "buffer.h"
#include "../core/handlers.h"
#include "../core/keywords.h"
#include "../core/report.h"
#include "../core/resource.h"
#include "../core/state.h"
#include "../core/strings.h"

// No value table: "FULL" is 0x1, "FREE" 0x2.
static const BYTE InOptionList[] = "\x04" "FULL" "\x04" "FREE";

// Whole-resource mode: page-sized reads into the transfer buffer, one copy at the end.
static DWORD ReadWhole(HOSTCTX ctx, RESULTSLOT *slot, LPSTR *data)
{
    HINTERNET handle = State.HandleList->Handle;
    DWORD total = 0;
    if (!CommitTransferBuffer(State.PageSize))
        return ReportSystemFailure(ctx, slot);
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(handle, (BYTE *)State.TransferBufferBase + total, State.PageSize, &got))
            return ReportFailure(ctx, slot);
        if (!got)
            break;
        total += got;
        // Always one committed page of room beyond the data.
        if (!CommitTransferBuffer((ULONGLONG)total + State.PageSize))
            return ReportSystemFailure(ctx, slot);
    }
    *data = HOST.MakeString(ctx, total, total, HOST_STR_FRESH);
    if (!*data)
        return REXX_ERROR_RESOURCES;
    CopyMemory(*data, State.TransferBufferBase, total);
    return 0;
}

// Count mode: one read straight into the interpreter's string.
static DWORD ReadCount(HOSTCTX ctx, RESULTSLOT *slot, DWORD count, LPSTR *data)
{
    LPSTR buffer = *data;
    DWORD got = 0;
    if (!InternetReadFile(State.HandleList->Handle, buffer, count, &got)) {
        DWORD result = ReportFailure(ctx, slot);
        HOST.FreeMem(buffer);
        *data = NULL;
        return result;
    }
    if (got == count)
        return 0;
    *data = Shortened(ctx, buffer, got);
    return *data ? 0 : REXX_ERROR_RESOURCES;
}

HANDLER(InetIn)
{
    if (!State.HandleList)
        return ReportResourceMessage(ctx, slot, NULL, IDS_NO_SERVER);

    DWORD options = 0;
    DWORD position = slot->ErrorMode == ERRORMODE_NONE ? 2 : 1; // 2: called by InetConnectUrl
    slot->ErrorMode = ERRORMODE_SYNTAX;

    LPSTR data = NULL;
    DWORD result;
    DWORD count = 0;
    BOOL whole = TRUE;
    if (position == 1) {
        slot->Value = HOST.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | 2, InOptionList, NULL, &options, 0);
        if (slot->Value)
            return ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 2);
        if (HOST.GetArg(ctx, args, HOST_ARG_NUMBER | 3, &count))
            whole = FALSE;
        else if (count)
            return ARGUMENT_ERROR(MINOR_NOT_POSITIVE, 3);
    }

    if (whole) {
        result = ReadWhole(ctx, slot, &data);
    } else {
        data = HOST.MakeString(ctx, count, count, HOST_STR_FRESH);
        if (!data)
            return REXX_ERROR_RESOURCES;
        result = ReadCount(ctx, slot, count, &data);
    }
    DecommitTransferBuffer();

    if (data) {
        DWORD length;
        LPCSTR name = HOST.GetArg(ctx, args, position, &length);
        DWORD stored = HOST.SetVar(ctx, name, 0, (ULONG_PTR)data, HOST_SET_STRING);
        // Data read and then dropped would be lost without a word.
        if (stored)
            result = StoreFailure(name, stored, position);
    }
    CloseCurrentIfFree(options);
    return result;
}
