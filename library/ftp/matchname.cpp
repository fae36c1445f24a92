// InetMatchName: the FTP server's files that match a pattern, one per call.
// The enumeration lives in State.FindHandle between calls, so it goes on
// whichever connection is current by then.
#include "../core/arguments.h"
#include "../core/handlers.h"
#include "../core/report.h"
#include "../core/resource.h"
#include "../core/state.h"

#define MATCH_ONE 0x1u // the handler's own bit: stop after the first match

static const BYTE MatchOptionList[] =
    "\x03" "ONE" "\x07" "USETEMP" "\x04" "LINK" "\x06" "RESYNC" "\x0C" "NOCACHEWRITE" "\x06" "RELOAD";
static const DWORD MatchOptionValues[] = {
    MATCH_ONE, INTERNET_FLAG_NEED_FILE, INTERNET_FLAG_HYPERLINK, INTERNET_FLAG_RESYNCHRONIZE,
    INTERNET_FLAG_NO_CACHE_WRITE, INTERNET_FLAG_RELOAD,
};

static void CloseEnumeration(void)
{
    if (State.FindHandle) {
        InternetCloseHandle(State.FindHandle);
        State.FindHandle = NULL;
    }
}

// No (further) match. Without "DONE" a script would take the empty result for a match.
static DWORD Done(HOSTCTX ctx, RESULTSLOT *slot)
{
    slot->Value = (ULONG_PTR)HOST.MakeString(ctx, (ULONG_PTR)"DONE", HOST_STR_TO_ZERO, HOST_STR_COPY);
    return slot->Value ? 0 : REXX_ERROR_RESOURCES;
}

// The interpreter turns the record into the variable argument 1 names and its compound variables.
static DWORD StoreMatch(HOSTCTX ctx, HOSTARGS args, WIN32_FIND_DATAA *match, DWORD options)
{
    LPCSTR name = HOST.GetArg(ctx, args, 1, &match->dwReserved0);
    DWORD stored = HOST.SetVar(ctx, name, 0, (ULONG_PTR)match, HOST_SET_FINDRECORD);
    if (stored || (options & MATCH_ONE))
        CloseEnumeration();
    // A match the script never sees must not pass for one: every later call would start over.
    if (stored)
        return StoreFailure(name, stored, 1);
    return 0;
}

HANDLER(InetMatchName)
{
    if (!State.HandleList)
        return ReportResourceMessage(ctx, slot, NULL, IDS_NO_SERVER);
    if (!HOST.ArgGiven(args, 1)) {
        CloseEnumeration();
        return 0;
    }

    WIN32_FIND_DATAA match;
    DWORD options = 0;
    if (State.FindHandle) {
        if (!InternetFindNextFileA(State.FindHandle, &match)) {
            if (GetLastError() == ERROR_NO_MORE_FILES) {
                CloseEnumeration();
                return Done(ctx, slot);
            }
            // Reported first: the report reads the find call's error.
            DWORD result = ReportFailure(ctx, slot);
            CloseEnumeration();
            return result;
        }
        return StoreMatch(ctx, args, &match, options);
    }

    LPSTR pattern;
    if (DWORD refused = CopyText(ctx, args, 2, &pattern))
        return refused;
    slot->Value = HOST.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | 3, MatchOptionList, MatchOptionValues, &options, 0);
    if (slot->Value) {
        HOST.FreeMem(pattern);
        return ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 3);
    }
    State.FindHandle = FtpFindFirstFileA(State.HandleList->Handle, pattern, &match, options & ~MATCH_ONE, 0);
    if (!State.FindHandle) {
        DWORD result = GetLastError() == ERROR_NO_MORE_FILES ? Done(ctx, slot) : ReportFailure(ctx, slot);
        HOST.FreeMem(pattern);
        return result;
    }
    HOST.FreeMem(pattern);
    return StoreMatch(ctx, args, &match, options);
}
