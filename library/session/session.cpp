// InetOpen and InetClose: the Internet session.
#include "../core/arguments.h"
#include "../core/handlers.h"
#include "../core/keywords.h"
#include "../core/report.h"
#include "../core/state.h"

const BYTE AccessTypeList[] = "\x09" "PRECONFIG" "\x06" "DIRECT" "\x05" "PROXY" "\x0C" "NO_AUTOPROXY";
const DWORD AccessTypeValues[] = {
    INTERNET_OPEN_TYPE_PRECONFIG,
    INTERNET_OPEN_TYPE_DIRECT,
    INTERNET_OPEN_TYPE_PROXY,
    INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY,
};

static const BYTE OpenFlagList[] = "\x05" "ASYNC" "\x07" "OFFLINE";
static const DWORD OpenFlagValues[] = {INTERNET_FLAG_ASYNC, INTERNET_FLAG_OFFLINE};

// The caller's name if the interpreter knows one, else its default name; never released.
static LPCSTR DefaultAgent(HOSTCTX ctx)
{
    ULONG_PTR name = 0;
    if (HOST.GetCallerName(ctx, &name, HOST_CALLER_NAME, 0))
        return (LPCSTR)name + 1;
    return HOST.GetDefaultName(ctx, 1);
}

HANDLER(InetOpen)
{
    if (State.SessionHandle)
        return 0;

    DWORD access = INTERNET_OPEN_TYPE_PRECONFIG;
    slot->Value = HOST.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | HOST_KW_SINGLE | 2, AccessTypeList,
                                     AccessTypeValues, &access, 0);
    if (slot->Value)
        return ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 2);

    DWORD flags = 0;
    slot->Value = HOST.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | 1, OpenFlagList, OpenFlagValues, &flags, 0);
    if (slot->Value)
        return ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 1);

    // A text that cannot be copied, or that WinINet would see cut short, is an error,
    // not a session quietly left unopened.
    LPSTR agent, proxy, bypass;
    DWORD result = CopyText(ctx, args, 3, &agent);
    if (result)
        return result;
    result = CopyText(ctx, args, 4, &proxy);
    if (!result) {
        result = CopyText(ctx, args, 5, &bypass);
        if (!result) {
            State.SessionHandle = InternetOpenA(agent[0] ? agent : DefaultAgent(ctx), access,
                                                proxy[0] ? proxy : NULL, bypass[0] ? bypass : NULL, flags);
            HOST.FreeMem(bypass);
            if (!State.SessionHandle)
                result = ReportFailure(ctx, slot);
        }
        HOST.FreeMem(proxy);
    }
    HOST.FreeMem(agent);
    return result;
}

HANDLER(InetClose)
{
    DWORD length;
    LPCSTR name = HOST.GetArg(ctx, args, 1, &length);
    if (!name)
        return SessionTeardown(ctx, slot);

    ULONG_PTR value = 0;
    if (!HOST.GetVar(ctx, name, 0, &value, HOST_VAR_NUMBER)) {
        // A handle left open for want of memory is a failure, not a quiet no-op.
        return value == HOST_REASON_NO_MEMORY ? REXX_ERROR_RESOURCES : 0;
    }
    if (!value)
        return 0;
    if (State.SessionHandle)
        CloseOne(value);
    // Dropped whether it named a node or not; a variable left for want of
    // memory is reported (the handle is closed all the same).
    DWORD dropped = HOST.SetVar(ctx, name, 0, 0, HOST_SET_STRING);
    return dropped == HOST_REASON_NO_MEMORY ? REXX_ERROR_RESOURCES : 0;
}
