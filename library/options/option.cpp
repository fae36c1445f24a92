// InetOption: WinINet options of the current handle, the session or the whole
// process; InetTime.
#include "../core/handlers.h"
#include "../core/keywords.h"
#include "../core/report.h"
#include "../core/state.h"
#include "../core/strings.h"

// Queries take every keyword; sets only those from RETRIES on.
static constexpr BYTE OptionList[] =
    "\x08" "DATAFILE" "\x05" "ERROR" "\x04" "TYPE" "\x06" "PARENT" "\x05" "FLAGS" "\x0B" "CERTIFICATE"
    "\x03" "URL" "\x07" "VERSION"
    "\x07" "RETRIES" "\x05" "FLUSH" "\x07" "CONNECT" "\x06" "ONLINE" "\x07" "RECEIVE" "\x04" "SEND"
    "\x08" "HTTPVERS" "\x08" "PASSWORD" "\x05" "PROXY" "\x08" "PROXYPWD" "\x09" "PROXYUSER" "\x08" "READSIZE"
    "\x07" "RCVTIME" "\x07" "REFRESH" "\x08" "PRIORITY" "\x08" "CACHEKEY" "\x0A" "CLIENTCERT" "\x08" "SENDTIME"
    "\x05" "AGENT" "\x04" "USER" "\x09" "WRITESIZE";
static const DWORD OptionValues[] = {
    INTERNET_OPTION_DATAFILE_NAME,
    INTERNET_OPTION_EXTENDED_ERROR,
    INTERNET_OPTION_HANDLE_TYPE,
    INTERNET_OPTION_PARENT_HANDLE,
    INTERNET_OPTION_REQUEST_FLAGS,
    INTERNET_OPTION_SECURITY_CERTIFICATE,
    INTERNET_OPTION_URL,
    INTERNET_OPTION_VERSION,
    INTERNET_OPTION_CONNECT_RETRIES,
    INTERNET_OPTION_END_BROWSER_SESSION,
    INTERNET_OPTION_CONNECT_TIMEOUT,
    INTERNET_OPTION_CONNECTED_STATE,
    INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
    INTERNET_OPTION_DATA_SEND_TIMEOUT,
    INTERNET_OPTION_HTTP_VERSION,
    INTERNET_OPTION_PASSWORD,
    INTERNET_OPTION_PROXY,
    INTERNET_OPTION_PROXY_PASSWORD,
    INTERNET_OPTION_PROXY_USERNAME,
    INTERNET_OPTION_READ_BUFFER_SIZE,
    INTERNET_OPTION_RECEIVE_TIMEOUT,
    INTERNET_OPTION_REFRESH,
    INTERNET_OPTION_REQUEST_PRIORITY,
    INTERNET_OPTION_SECONDARY_CACHE_KEY,
    INTERNET_OPTION_SECURITY_SELECT_CLIENT_CERT,
    INTERNET_OPTION_SEND_TIMEOUT,
    INTERNET_OPTION_USER_AGENT,
    INTERNET_OPTION_USERNAME,
    INTERNET_OPTION_WRITE_BUFFER_SIZE,
};
#define QUERY_ONLY_COUNT 8
#define OPTION_COUNT 29
static const BYTE *const SettableOptionList = KeywordAt(OptionList, QUERY_ONLY_COUNT);
static const DWORD *const SettableOptionValues = OptionValues + QUERY_ONLY_COUNT;
static_assert(sizeof OptionValues / sizeof OptionValues[0] == OPTION_COUNT, "a value for every keyword");
static_assert(KeywordAt(OptionList, OPTION_COUNT)[0] == 0, "29 keywords");
static_assert(KeywordAt(OptionList, QUERY_ONLY_COUNT)[1] == 'R', "the settable list starts at RETRIES");

static const char *const StateWords[] = {"ON", "OFF", "CANCEL"};
static const DWORD StateBits[] = {INTERNET_STATE_CONNECTED, INTERNET_STATE_DISCONNECTED,
                                  INTERNET_STATE_DISCONNECTED_BY_USER};

// How a value travels between the script and WinINet.
enum ValueForm {
    FORM_NUMBER,     // a 32-bit number
    FORM_HANDLE,     // a handle-sized number
    FORM_PAIR,       // major and minor, to stem elements 0 and 1
    FORM_STATE,      // the connected state, to stem elements 1 and 2 as words
    FORM_PROXY,      // the proxy record, from or to stem elements 0, 1 and 2
    FORM_SIZED,      // as many bytes as WinINet has: probed, then fetched
    FORM_CONNECTED,  // setting the connected state: connected, with the flags given
    FORM_VERSION,    // setting the HTTP version from text such as 1.0
    FORM_BYTES,      // the argument's bytes as they are
};

static ValueForm QueryForm(DWORD option)
{
    switch (option) {
    case INTERNET_OPTION_HANDLE_TYPE:
    case INTERNET_OPTION_REQUEST_FLAGS:
    case INTERNET_OPTION_CONNECT_RETRIES:
    case INTERNET_OPTION_CONNECT_TIMEOUT:
    case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT:
    case INTERNET_OPTION_DATA_SEND_TIMEOUT:
    case INTERNET_OPTION_READ_BUFFER_SIZE:
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
    case INTERNET_OPTION_REFRESH:
    case INTERNET_OPTION_SEND_TIMEOUT:
    case INTERNET_OPTION_WRITE_BUFFER_SIZE:
        return FORM_NUMBER;
    case INTERNET_OPTION_PARENT_HANDLE:
        return FORM_HANDLE;
    case INTERNET_OPTION_VERSION:
    case INTERNET_OPTION_HTTP_VERSION:
        return FORM_PAIR;
    case INTERNET_OPTION_CONNECTED_STATE:
        return FORM_STATE;
    case INTERNET_OPTION_PROXY:
        return FORM_PROXY;
    default:
        return FORM_SIZED;
    }
}

static ValueForm SetForm(DWORD option)
{
    switch (option) {
    case INTERNET_OPTION_CONNECTED_STATE:
        return FORM_CONNECTED;
    case INTERNET_OPTION_PROXY:
        return FORM_PROXY;
    case INTERNET_OPTION_HTTP_VERSION:
        return FORM_VERSION;
    default:
        return QueryForm(option) == FORM_NUMBER ? FORM_NUMBER : FORM_BYTES;
    }
}

// The value area, as large as the largest record an option takes on this
// platform: the sizes given to WinINet are those of the records themselves.
typedef union OptionValue {
    DWORD Number;
    HINTERNET Handle;
    HTTP_VERSION_INFO Version; // INTERNET_VERSION_INFO has the same two words
    INTERNET_CONNECTED_INFO Connected;
    INTERNET_PROXY_INFO Proxy;
} OptionValue;
static_assert(sizeof(HTTP_VERSION_INFO) == sizeof(INTERNET_VERSION_INFO), "one pair for both versions");

// The proxy list of a setting is copied here; a longer one is refused.
#define PROXY_TEXT_SIZE 256

static DWORD Apply(HOSTCTX ctx, RESULTSLOT *slot, HINTERNET handle, DWORD option, LPVOID buffer, DWORD size)
{
    if (!InternetSetOptionA(handle, option, buffer, size))
        return ReportFailure(ctx, slot);
    return 0;
}

// Element 1 or 2 of the proxy stem: its text, or none when the element has no value.
static DWORD ProxyElement(HOSTCTX ctx, LPCSTR name, ULONG_PTR index, LPCSTR *text)
{
    ULONG_PTR reason = index;
    *text = (LPCSTR)HOST.GetVar(ctx, name, 0, &reason, HOST_VAR_ELEMENT_REASON);
    if (*text || reason == HOST_REASON_NOT_SET)
        return 0;
    return reason == HOST_REASON_NO_MEMORY ? REXX_ERROR_RESOURCES : ARGUMENT_ERROR(MINOR_ARGUMENT_MISSING, 2);
}

static DWORD SetProxy(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot, HINTERNET handle)
{
    DWORD nameLength;
    LPCSTR name = HOST.GetArg(ctx, args, 2, &nameLength);

    ULONG_PTR length = 0;
    LPCSTR type = (LPCSTR)HOST.GetVar(ctx, name, 0, &length, HOST_VAR_ELEMENT);
    if (!type)
        return length == HOST_REASON_NO_MEMORY ? REXX_ERROR_RESOURCES : ARGUMENT_ERROR(MINOR_ARGUMENT_MISSING, 2);
    DWORD access = 0;
    DWORD textLength = length < HOST_KW_TEXT_LENGTH ? (DWORD)length : HOST_KW_TEXT_LENGTH;
    slot->Value = HOST.ParseKeywords(ctx, type, HOST_KW_SINGLE | textLength, AccessTypeList, AccessTypeValues,
                                     &access, 0);
    if (slot->Value)
        return ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 2);

    char list[PROXY_TEXT_SIZE];
    LPCSTR text;
    DWORD result = ProxyElement(ctx, name, 1, &text);
    if (result)
        return result;
    if (text) {
        // Refused as WinINet refuses a value that does not fit its buffer.
        if (lstrlenA(text) >= PROXY_TEXT_SIZE) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return ReportFailure(ctx, slot);
        }
        lstrcpyA(list, text);
    }
    LPCSTR bypass;
    result = ProxyElement(ctx, name, 2, &bypass);
    if (result)
        return result;

    OptionValue value;
    ZeroMemory(&value, sizeof value);
    value.Proxy.dwAccessType = access;
    value.Proxy.lpszProxy = text ? list : NULL;
    value.Proxy.lpszProxyBypass = bypass;
    return Apply(ctx, slot, handle, INTERNET_OPTION_PROXY, &value, sizeof value.Proxy);
}

static DWORD Set(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot, HINTERNET handle)
{
    DWORD option = 0;
    slot->Value = HOST.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | HOST_KW_SINGLE | 1, SettableOptionList,
                                     SettableOptionValues, &option, 0);
    if (slot->Value)
        return ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 1);
    if (!option)
        return ARGUMENT_ERROR(MINOR_ARGUMENT_MISSING, 1);

    OptionValue value;
    ZeroMemory(&value, sizeof value);
    DWORD length = 0;
    switch (SetForm(option)) {
    case FORM_NUMBER:
        if (!HOST.GetArg(ctx, args, HOST_ARG_NUMBER | 2, &value.Number))
            return ARGUMENT_ERROR(MINOR_NOT_NONNEGATIVE, 2);
        return Apply(ctx, slot, handle, option, &value, sizeof value.Number);
    case FORM_CONNECTED:
        // Omitted means no flags; a value that is no number is refused like the numbers' values.
        if (!HOST.GetArg(ctx, args, HOST_ARG_NUMBER | 2, &value.Connected.dwFlags) && value.Connected.dwFlags)
            return ARGUMENT_ERROR(MINOR_NOT_NONNEGATIVE, 2);
        value.Connected.dwConnectedState = INTERNET_STATE_CONNECTED;
        return Apply(ctx, slot, handle, option, &value, sizeof value.Connected);
    case FORM_PROXY:
        return SetProxy(ctx, args, slot, handle);
    case FORM_VERSION: {
        // "1.0": the second number starts where the first stopped.
        LPCSTR text = HOST.GetArg(ctx, args, 2, &length);
        LPCSTR end = text;
        value.Version.dwMajorVersion = HOST.StrToNum(text, length, &end, 0);
        value.Version.dwMinorVersion = HOST.StrToNum(end, length - (DWORD)(end - text), NULL, 0);
        return Apply(ctx, slot, NULL, option, &value, sizeof value.Version);
    }
    default: {
        LPCSTR text = HOST.GetArg(ctx, args, 2, &length);
        return Apply(ctx, slot, handle, option, (LPVOID)text, length);
    }
    }
}

// Element `index` of the stem gets a copy of `text`, or is dropped when there is none.
static DWORD StoreElement(HOSTCTX ctx, LPCSTR name, DWORD index, LPCSTR text, ULONG_PTR length)
{
    ULONG_PTR copy = 0;
    if (text) {
        copy = (ULONG_PTR)HOST.MakeString(ctx, (ULONG_PTR)text, length, HOST_STR_COPY);
        if (!copy)
            return REXX_ERROR_RESOURCES;
    }
    DWORD stored = HOST.SetVar(ctx, name, 0, copy, HOST_SET_ELEMENT + index);
    return stored ? StoreFailure(name, stored, 2) : 0;
}

static DWORD StoreNumber(LPCSTR name, DWORD stored)
{
    return stored ? StoreFailure(name, stored, 2) : 0;
}

static DWORD StoreProxy(HOSTCTX ctx, LPCSTR name, const INTERNET_PROXY_INFO *record)
{
    // Both proxy access types read back as PROXY.
    DWORD type = record->dwAccessType <= INTERNET_OPEN_TYPE_DIRECT ? record->dwAccessType : 2;
    const BYTE *keyword = KeywordAt(AccessTypeList, type);
    DWORD result = StoreElement(ctx, name, 0, (LPCSTR)keyword + 1, keyword[0]);
    if (!result)
        result = StoreElement(ctx, name, 1, record->lpszProxy, HOST_STR_TO_ZERO);
    if (!result)
        result = StoreElement(ctx, name, 2, record->lpszProxyBypass, HOST_STR_TO_ZERO);
    return result;
}

static DWORD StoreState(HOSTCTX ctx, LPCSTR name, DWORD state)
{
    LPCSTR word = NULL;
    for (DWORD i = 0; i < sizeof StateBits / sizeof StateBits[0]; i++) {
        if (state & StateBits[i])
            word = StateWords[i];
    }
    DWORD result = StoreElement(ctx, name, 1, word, HOST_STR_TO_ZERO);
    if (!result)
        result = StoreElement(ctx, name, 2, (state & INTERNET_STATE_IDLE) ? "IDLE" : "BUSY", HOST_STR_TO_ZERO);
    return result;
}

// The record with its lists behind it, when the value area has no room for them.
static DWORD QueryProxy(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot, HINTERNET handle, OptionValue *value)
{
    DWORD size = sizeof value->Proxy;
    const INTERNET_PROXY_INFO *record = &value->Proxy;
    LPVOID block = NULL;
    if (!InternetQueryOptionA(handle, INTERNET_OPTION_PROXY, value, &size)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return ReportFailure(ctx, slot);
        block = GlobalAlloc(GMEM_FIXED, size);
        if (!block)
            return REXX_ERROR_RESOURCES;
        if (!InternetQueryOptionA(handle, INTERNET_OPTION_PROXY, block, &size)) {
            DWORD result = ReportFailure(ctx, slot);
            GlobalFree(block);
            return result;
        }
        record = (const INTERNET_PROXY_INFO *)block;
    }
    DWORD length;
    DWORD result = StoreProxy(ctx, HOST.GetArg(ctx, args, 2, &length), record);
    if (block)
        GlobalFree(block);
    return result;
}

static DWORD QuerySized(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot, HINTERNET handle, DWORD option)
{
    DWORD size = 0;
    if (!InternetQueryOptionA(handle, option, NULL, &size) && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return ReportFailure(ctx, slot);
    DWORD probed = size;
    LPSTR data = HOST.MakeString(ctx, probed, probed, HOST_STR_FRESH);
    if (!data)
        return REXX_ERROR_RESOURCES;
    if (!InternetQueryOptionA(handle, option, data, &size)) {
        DWORD result = ReportFailure(ctx, slot);
        HOST.FreeMem(data);
        return result;
    }
    // Texts come back without the zero byte the probe counted: the variable holds the text alone.
    if (size < probed) {
        data = Shortened(ctx, data, size);
        if (!data)
            return REXX_ERROR_RESOURCES;
    }
    DWORD length;
    LPCSTR name = HOST.GetArg(ctx, args, 2, &length);
    DWORD stored = HOST.SetVar(ctx, name, 0, (ULONG_PTR)data, HOST_SET_STRING);
    return stored ? StoreFailure(name, stored, 2) : 0;
}

static DWORD Query(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot, HINTERNET handle)
{
    DWORD option = 0;
    slot->Value =
        HOST.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | HOST_KW_SINGLE | 1, OptionList, OptionValues, &option, 0);
    if (slot->Value)
        return ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 1);
    if (!option)
        return ARGUMENT_ERROR(MINOR_ARGUMENT_MISSING, 1);
    if (option == INTERNET_OPTION_HTTP_VERSION || option == INTERNET_OPTION_EXTENDED_ERROR)
        handle = NULL; // process-wide and per thread: never a handle's

    OptionValue value;
    ZeroMemory(&value, sizeof value);
    DWORD size;
    switch (QueryForm(option)) {
    case FORM_SIZED:
        return QuerySized(ctx, args, slot, handle, option);
    case FORM_PROXY:
        return QueryProxy(ctx, args, slot, handle, &value);
    case FORM_HANDLE:
        size = sizeof value.Handle;
        break;
    case FORM_PAIR:
        size = sizeof value.Version;
        break;
    case FORM_STATE:
        size = sizeof value.Connected;
        break;
    default:
        size = sizeof value.Number;
        break;
    }
    if (!InternetQueryOptionA(handle, option, &value, &size))
        return ReportFailure(ctx, slot);

    DWORD length;
    LPCSTR name = HOST.GetArg(ctx, args, 2, &length);
    switch (QueryForm(option)) {
    case FORM_HANDLE:
        return StoreNumber(name, HOST.SetVar(ctx, name, 0, (ULONG_PTR)value.Handle, HOST_SET_NUMBER));
    case FORM_PAIR: {
        DWORD result =
            StoreNumber(name, HOST.SetVar(ctx, name, 0, value.Version.dwMajorVersion, HOST_SET_ELEMENT_NUMBER + 0));
        if (!result)
            result = StoreNumber(
                name, HOST.SetVar(ctx, name, 0, value.Version.dwMinorVersion, HOST_SET_ELEMENT_NUMBER + 1));
        return result;
    }
    case FORM_STATE:
        return StoreState(ctx, name, value.Connected.dwConnectedState);
    default:
        return StoreNumber(name, HOST.SetVar(ctx, name, 0, value.Number, HOST_SET_NUMBER));
    }
}

HANDLER(InetOption)
{
    // The current handle, else the session, else WinINet's settings for the whole process.
    HINTERNET handle = State.HandleList ? State.HandleList->Handle : State.SessionHandle;
    DWORD length;
    if (HOST.GetArg(ctx, args, 3, &length))
        return Query(ctx, args, slot, handle);
    return Set(ctx, args, slot, handle);
}

// Registered beside InetOption; it does nothing at all.
HANDLER(InetTime)
{
    (void)ctx;
    (void)args;
    (void)slot;
    return 0;
}
