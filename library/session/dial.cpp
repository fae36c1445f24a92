// InetDial: bringing the dial-up connection up when the system is offline, and hanging up.
#include "../core/arguments.h"
#include "../core/handlers.h"
#include "../core/report.h"
#include "../core/resource.h"
#include "../core/state.h"

// No value table: keyword i is 1 shl i, the WinINet flag of the same place.
static const BYTE DialOptionList[] = "\x06" "ONLINE" "\x0A" "UNATTENDED" "\x0B" "FAILNOSHARE" "\x09" "FORCEDIAL"
                                     "\x06" "HANGUP";
#define DIAL_HANGUP 0x10u

// Room for the name of the connection that is up (a phonebook entry's name, 256 characters).
#define CONNECTION_NAME_SIZE 257

static DWORD HangUp(LPCSTR connection)
{
    if (connection[0])
        InternetHangUp(HOST.StrToNum(connection, lstrlenA(connection), NULL, HOST_NUM_WHOLE), 0);
    else
        InternetAutodialHangup(0);
    return 0; // not examined: there is nothing a script could do about it
}

static DWORD Dial(HOSTCTX ctx, RESULTSLOT *slot, LPSTR connection, DWORD options, HWND window)
{
    DWORD state = 0;
    if (connection[0]) {
        // The name of the connection that is up lands in a buffer of its own, so
        // that the name to dial stays as the script gave it.
        char current[CONNECTION_NAME_SIZE];
        InternetGetConnectedStateEx(&state, current, sizeof current, 0);
        if (state & INTERNET_CONNECTION_OFFLINE) {
            if (InternetDial(window, connection, options, &State.DialConnection, 0))
                return ReportResourceMessage(ctx, slot, NULL, IDS_CANT_DIAL);
            State.DialFlags |= DIAL_BROUGHT_UP | DIAL_BY_NUMBER;
        }
    } else {
        InternetGetConnectedState(&state, 0);
        if (state & INTERNET_CONNECTION_OFFLINE) {
            if (!InternetAutodial(options, window))
                return ReportResourceMessage(ctx, slot, NULL, IDS_CANT_DIAL);
            State.DialFlags |= DIAL_BROUGHT_UP;
        }
    }
    return 0;
}

HANDLER(InetDial)
{
    // Argument 2 is checked before argument 1.
    DWORD window = 0;
    if (!HOST.GetArg(ctx, args, HOST_ARG_NUMBER | 2, &window)) {
        if (window)
            return ARGUMENT_ERROR(MINOR_NOT_POSITIVE, 2);
        window = 0;
    }
    LPSTR connection;
    if (DWORD refused = CopyText(ctx, args, 3, &connection))
        return refused;
    DWORD options = 0;
    slot->Value = HOST.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | 1, DialOptionList, NULL, &options, 0);
    DWORD result;
    if (slot->Value)
        result = ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 1);
    else if (options & DIAL_HANGUP)
        result = HangUp(connection);
    else
        result = Dial(ctx, slot, connection, options, (HWND)(ULONG_PTR)window);
    HOST.FreeMem(connection);
    return result;
}
