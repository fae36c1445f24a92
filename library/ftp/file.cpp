// InetFile: one whole file between the local machine and the FTP server.
#include "../core/arguments.h"
#include "../core/handlers.h"
#include "../core/report.h"
#include "../core/resource.h"
#include "../core/state.h"

#define FILE_DERIVED_NAME 0x2u // the second name points into the first copy
#define FILE_EXISTING 0x4u      // download only: fFailIfExists
#define FILE_UPLOAD 0x8u
#define FILE_OWN_BITS (FILE_DERIVED_NAME | FILE_EXISTING | FILE_UPLOAD) // never reach WinINet

static const BYTE FileOptionList[] =
    "\x04" "TEXT" "\x08" "EXISTING" "\x06" "UPLOAD" "\x07" "USETEMP" "\x04" "LINK" "\x06" "RESYNC" "\x06" "RELOAD";
static const DWORD FileOptionValues[] = {
    FTP_TRANSFER_TYPE_ASCII, FILE_EXISTING, FILE_UPLOAD, INTERNET_FLAG_NEED_FILE,
    INTERNET_FLAG_HYPERLINK, INTERNET_FLAG_RESYNCHRONIZE, INTERNET_FLAG_RELOAD,
};

// The last path component, after either separator; empty after a trailing one.
static LPSTR LastComponent(LPSTR path)
{
    LPSTR end = path + lstrlenA(path);
    while (end > path && end[-1] != '/' && end[-1] != '\\')
        end--;
    return end;
}

HANDLER(InetFile)
{
    if (!State.HandleList)
        return ReportResourceMessage(ctx, slot, NULL, IDS_NO_SERVER);

    DWORD options = 0;
    slot->Value = HOST.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | 3, FileOptionList, FileOptionValues, &options, 0);
    if (slot->Value)
        return ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 3);

    DWORD attributes = 0;
    if (!HOST.GetArg(ctx, args, HOST_ARG_NUMBER | 4, &attributes) && attributes)
        return ARGUMENT_ERROR(MINOR_NOT_NONNEGATIVE, 4);

    LPSTR first, second;
    if (DWORD refused = CopyText(ctx, args, 1, &first))
        return refused;
    if (DWORD refused = CopyText(ctx, args, 2, &second)) {
        HOST.FreeMem(first);
        return refused;
    }
    if (!second[0]) {
        HOST.FreeMem(second);
        options |= FILE_DERIVED_NAME;
        second = LastComponent(first);
    }

    HINTERNET connection = State.HandleList->Handle;
    DWORD flags = options & ~FILE_OWN_BITS;
    BOOL done;
    if (options & FILE_UPLOAD)
        done = FtpPutFileA(connection, first, second, flags, 0);
    else
        done = FtpGetFileA(connection, first, second, (options & FILE_EXISTING) ? TRUE : FALSE, attributes, flags, 0);
    DWORD result = done ? 0 : ReportFailure(ctx, slot);

    if (!(options & FILE_DERIVED_NAME))
        HOST.FreeMem(second);
    HOST.FreeMem(first);
    return result;
}
