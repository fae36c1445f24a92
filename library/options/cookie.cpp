// InetCookie: reading and setting cookies in WinINet's cookie store.
#include "../core/arguments.h"
#include "../core/handlers.h"
#include "../core/report.h"
#include "../core/state.h"
#include "../core/strings.h"

#define COOKIE_SET 0x1u // the library's own bit: never passed to WinINet

static const BYTE CookieOptionList[] = "\x03" "SET" "\x0A" "THIRDPARTY" "\x03" "P3P" "\x0A" "RESTRICTED";
static const DWORD CookieOptionValues[] = {
    COOKIE_SET,
    INTERNET_COOKIE_THIRD_PARTY,
    INTERNET_COOKIE_EVALUATE_P3P,
    INTERNET_FLAG_RESTRICTED_ZONE,
};

static DWORD SetCookie(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot, LPCSTR url, LPCSTR name, DWORD options)
{
    LPSTR data, header;
    if (DWORD refused = CopyText(ctx, args, 3, &data))
        return refused;
    if (DWORD refused = CopyText(ctx, args, 5, &header)) {
        HOST.FreeMem(data);
        return refused;
    }
    DWORD state;
    if (name[0])
        state = InternetSetCookieExA(url, name, data, options & ~COOKIE_SET, (DWORD_PTR)header);
    else
        state = (DWORD)InternetSetCookieA(url, NULL, data);
    // Only an accepted cookie is set; a refused one (any other state) is a failure.
    DWORD result = state == COOKIE_STATE_ACCEPT ? 0 : ReportFailure(ctx, slot);
    HOST.FreeMem(header);
    HOST.FreeMem(data);
    return result;
}

// The plain call takes the empty name to learn the size, and none to fetch.
static BOOL GetCookie(LPCSTR url, LPCSTR name, LPSTR data, DWORD *size, DWORD options)
{
    if (name[0])
        return InternetGetCookieExA(url, name, data, size, options, NULL);
    return InternetGetCookieA(url, data ? NULL : name, data, size);
}

static DWORD ReadCookie(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot, LPCSTR url, LPCSTR name, DWORD options)
{
    DWORD size;
    LPCSTR variable = HOST.GetArg(ctx, args, 3, &size);
    if (!variable)
        return ARGUMENT_ERROR(MINOR_ARGUMENT_MISSING, 3);
    if (!GetCookie(url, name, NULL, &size, options))
        return ReportFailure(ctx, slot);
    DWORD capacity = size;
    LPSTR data = HOST.MakeString(ctx, capacity, capacity, HOST_STR_FRESH);
    if (!data)
        return REXX_ERROR_RESOURCES;
    if (!GetCookie(url, name, data, &size, options)) {
        DWORD result = ReportFailure(ctx, slot);
        HOST.FreeMem(data);
        return result;
    }
    // The size learnt counts the cookie's zero byte; the fetch tells the text's own length.
    if (size < capacity) {
        data = Shortened(ctx, data, size);
        if (!data)
            return REXX_ERROR_RESOURCES;
    }
    DWORD stored = HOST.SetVar(ctx, variable, 0, (ULONG_PTR)data, HOST_SET_STRING);
    return stored ? StoreFailure(variable, stored, 3) : 0;
}

HANDLER(InetCookie)
{
    LPSTR url, name;
    if (DWORD refused = CopyText(ctx, args, 1, &url))
        return refused;
    if (DWORD refused = CopyText(ctx, args, 2, &name)) {
        HOST.FreeMem(url);
        return refused;
    }
    DWORD options = 0;
    DWORD result;
    slot->Value = HOST.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | 4, CookieOptionList, CookieOptionValues,
                                     &options, 0);
    if (slot->Value)
        result = ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 4);
    else if (options & COOKIE_SET)
        result = SetCookie(ctx, args, slot, url, name, options);
    else
        result = ReadCookie(ctx, args, slot, url, name, options);
    HOST.FreeMem(name);
    HOST.FreeMem(url);
    return result;
}
