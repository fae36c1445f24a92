// InetOut: writing through the current handle.
#include "buffer.h"
#include "../core/handlers.h"
#include "../core/keywords.h"
#include "../core/report.h"
#include "../core/resource.h"
#include "../core/state.h"

static const BYTE OutOptionList[] = "\x04" "FREE";
static const DWORD OutOptionValues[] = {OPTION_FREE};

HANDLER(InetOut)
{
    if (!State.HandleList)
        return ReportResourceMessage(ctx, slot, NULL, IDS_NO_SERVER);

    DWORD options = 0;
    DWORD position = 2; // called by InetConnectUrl: its argument 2 is the data
    if (slot->ErrorMode != ERRORMODE_NONE) {
        position = 1;
        slot->Value = HOST.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | 2, OutOptionList, OutOptionValues, &options, 0);
        if (slot->Value)
            return ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 2);
    }

    DWORD length = 0;
    LPCSTR data = HOST.GetArg(ctx, args, position, &length);
    slot->ErrorMode = ERRORMODE_SYNTAX;

    // Straight from the interpreter's argument: its length, not a terminator, counts.
    DWORD written = 0;
    DWORD result;
    if (!InternetWriteFile(State.HandleList->Handle, data, length, &written))
        result = ReportFailure(ctx, slot);
    else if (written != length)
        result = ReportResourceMessage(ctx, slot, NULL, IDS_SHORT_WRITE);
    else
        result = 0;

    CloseCurrentIfFree(options);
    return result;
}
