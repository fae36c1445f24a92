// InternetQueryOptionA and InternetSetOptionA: the options a handle stores,
// the process-wide ones of the NULL handle, and what a URL handle's request
// tells. Which option goes with which kind of handle, and which can be set,
// is WinINet's: the table below.
#include "internal.h"

#include <cstdlib>
#include <cstring>

namespace wininet {

namespace {

HTTP_VERSION_INFO httpVersion = {1, 1};  // guarded by HandleLock()

// The kinds of handle an option goes with.
enum Where : unsigned {
    kNone = 1,        // the NULL handle: the process
    kSession = 2,
    kConnection = 4,  // FTP, Gopher and HTTP connections, FTP finds
    kRequest = 8,     // URL handles
    kHttpRequest = 16,
    kHandles = kSession | kConnection | kRequest | kHttpRequest,
    kAll = kNone | kHandles,
};

enum Access : unsigned { kQuery = 1, kSet = 2, kBoth = kQuery | kSet };

struct Rule {
    DWORD option;
    unsigned where;
    unsigned access;
};

// Options not in this table are no options (ERROR_INTERNET_INVALID_OPTION).
constexpr Rule kRules[] = {
    {INTERNET_OPTION_CONNECT_TIMEOUT, kAll, kBoth},
    {INTERNET_OPTION_CONNECT_RETRIES, kAll, kBoth},
    {INTERNET_OPTION_SEND_TIMEOUT, kAll, kBoth},
    {INTERNET_OPTION_RECEIVE_TIMEOUT, kAll, kBoth},
    {INTERNET_OPTION_DATA_SEND_TIMEOUT, kAll, kBoth},
    {INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, kAll, kBoth},
    {INTERNET_OPTION_READ_BUFFER_SIZE, kAll, kBoth},
    {INTERNET_OPTION_WRITE_BUFFER_SIZE, kAll, kBoth},
    {INTERNET_OPTION_PROXY, kAll, kBoth},
    {INTERNET_OPTION_HTTP_VERSION, kAll, kBoth},
    {INTERNET_OPTION_CONNECTED_STATE, kAll, kBoth},
    {INTERNET_OPTION_VERSION, kAll, kQuery},
    {INTERNET_OPTION_EXTENDED_ERROR, kAll, kQuery},
    {INTERNET_OPTION_END_BROWSER_SESSION, kAll, kSet},
    {INTERNET_OPTION_REFRESH, kAll, kSet},
    {INTERNET_OPTION_SETTINGS_CHANGED, kAll, kSet},
    {INTERNET_OPTION_USER_AGENT, kHandles, kBoth},
    {INTERNET_OPTION_USERNAME, kHandles, kBoth},
    {INTERNET_OPTION_PASSWORD, kHandles, kBoth},
    {INTERNET_OPTION_PROXY_USERNAME, kHandles, kBoth},
    {INTERNET_OPTION_PROXY_PASSWORD, kHandles, kBoth},
    {INTERNET_OPTION_CONTEXT_VALUE, kHandles, kBoth},
    {INTERNET_OPTION_HANDLE_TYPE, kHandles, kQuery},
    {INTERNET_OPTION_PARENT_HANDLE, kHandles, kQuery},
    {INTERNET_OPTION_REQUEST_FLAGS, kRequest | kHttpRequest, kQuery},
    {INTERNET_OPTION_URL, kRequest | kHttpRequest, kQuery},
    {INTERNET_OPTION_DATAFILE_NAME, kRequest | kHttpRequest, kQuery},
    {INTERNET_OPTION_SECURITY_CERTIFICATE, kRequest | kHttpRequest, kQuery},
    {INTERNET_OPTION_REQUEST_PRIORITY, kHttpRequest, kBoth},
    // No cache to key and no client certificates here: these fail where they apply.
    {INTERNET_OPTION_SECONDARY_CACHE_KEY, kHttpRequest, kBoth},
    {INTERNET_OPTION_SECURITY_SELECT_CLIENT_CERT, kHttpRequest, kBoth},
};

const Rule *RuleOf(DWORD option)
{
    for (const Rule &rule : kRules) {
        if (rule.option == option)
            return &rule;
    }
    return nullptr;
}

Where KindOf(const std::shared_ptr<Handle> &h)
{
    if (!h)
        return kNone;
    switch (h->Type()) {
    case INTERNET_HANDLE_TYPE_INTERNET:
        return kSession;
    case INTERNET_HANDLE_TYPE_HTTP_REQUEST:
        return kHttpRequest;
    default:
        return h->RequestInfo() ? kRequest : kConnection;
    }
}

// The handle named (none for NULL), and whether the option may be used on it so.
DWORD Admit(HINTERNET handle, DWORD option, Access access, std::shared_ptr<Handle> &h)
{
    if (handle) {
        if (DWORD err = FindHandle(handle, h))
            return err;
    }
    const Rule *rule = RuleOf(option);
    if (!rule)
        return ERROR_INTERNET_INVALID_OPTION;
    if (!(rule->access & access))
        return access == kSet ? ERROR_INTERNET_OPTION_NOT_SETTABLE : ERROR_INTERNET_INVALID_OPTION;
    if (!(rule->where & KindOf(h)))
        return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
    return ERROR_SUCCESS;
}

DWORD CopyFixed(const void *value, DWORD size, void *buffer, DWORD *length)
{
    if (!buffer || *length < size) {
        *length = size;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(buffer, value, size);
    *length = size;
    return ERROR_SUCCESS;
}

DWORD CopyNumber(DWORD value, void *buffer, DWORD *length) { return CopyFixed(&value, sizeof value, buffer, length); }

const char *Environment(const char *lower, const char *upper)
{
    const char *v = std::getenv(lower);
    if ((!v || !*v) && upper)
        v = std::getenv(upper);
    return v && *v ? v : nullptr;
}

// INTERNET_PROXY_INFO with its lists behind it in the caller's buffer.
DWORD CopyProxy(const ProxySettings &settings, void *buffer, DWORD *length)
{
    ProxySettings s = ResolvedProxy(settings);
    std::size_t size = sizeof(INTERNET_PROXY_INFO);
    if (!s.list.empty())
        size += s.list.size() + 1;
    if (!s.bypass.empty())
        size += s.bypass.size() + 1;
    if (size > 0xFFFFFFFFu)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (!buffer || *length < size) {
        *length = static_cast<DWORD>(size);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    // Copied in whole: the caller's buffer need not be aligned for pointers.
    INTERNET_PROXY_INFO info = {};
    char *text = static_cast<char *>(buffer) + sizeof(INTERNET_PROXY_INFO);
    info.dwAccessType = s.accessType;
    if (!s.list.empty()) {
        std::memcpy(text, s.list.c_str(), s.list.size() + 1);
        info.lpszProxy = text;
        text += s.list.size() + 1;
    }
    if (!s.bypass.empty()) {
        std::memcpy(text, s.bypass.c_str(), s.bypass.size() + 1);
        info.lpszProxyBypass = text;
    }
    std::memcpy(buffer, &info, sizeof info);
    *length = static_cast<DWORD>(size);
    return ERROR_SUCCESS;
}

DWORD *NumberOption(Options &o, DWORD option)
{
    switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
        return &o.connectTimeout;
    case INTERNET_OPTION_CONNECT_RETRIES:
        return &o.connectRetries;
    case INTERNET_OPTION_SEND_TIMEOUT:
        return &o.sendTimeout;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
        return &o.receiveTimeout;
    case INTERNET_OPTION_DATA_SEND_TIMEOUT:
        return &o.dataSendTimeout;
    case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT:
        return &o.dataReceiveTimeout;
    case INTERNET_OPTION_READ_BUFFER_SIZE:
        return &o.readBufferSize;
    case INTERNET_OPTION_WRITE_BUFFER_SIZE:
        return &o.writeBufferSize;
    case INTERNET_OPTION_REQUEST_PRIORITY:
        return &o.requestPriority;
    default:
        return nullptr;
    }
}

std::string *StringOption(Options &o, DWORD option)
{
    switch (option) {
    case INTERNET_OPTION_USER_AGENT:
        return &o.agent;
    case INTERNET_OPTION_USERNAME:
        return &o.userName;
    case INTERNET_OPTION_PASSWORD:
        return &o.password;
    case INTERNET_OPTION_PROXY_USERNAME:
        return &o.proxyUserName;
    case INTERNET_OPTION_PROXY_PASSWORD:
        return &o.proxyPassword;
    default:
        return nullptr;
    }
}

// The options of the handle, or the process-wide ones for NULL.
Options SettingsOf(const std::shared_ptr<Handle> &h)
{
    if (h)
        return h->Settings();
    std::lock_guard<std::mutex> hold(HandleLock());
    return ProcessOptions();
}

void Change(const std::shared_ptr<Handle> &h, const std::function<void(Options &)> &change)
{
    if (h) {
        h->Configure(change);
        return;
    }
    std::lock_guard<std::mutex> hold(HandleLock());
    change(ProcessOptions());
}

// What a URL handle's request tells.
DWORD QueryRequest(const Handle &h, DWORD option, void *buffer, DWORD *length)
{
    const Handle::Request *request = h.RequestInfo();
    switch (option) {
    case INTERNET_OPTION_REQUEST_FLAGS:
        return CopyNumber(request ? request->flags : 0, buffer, length);
    case INTERNET_OPTION_DATAFILE_NAME:
        if (!request || !request->dataFile)
            return ERROR_INTERNET_ITEM_NOT_FOUND;
        return CopyStringOption(request->dataFile->Path(), buffer, length);
    case INTERNET_OPTION_SECURITY_CERTIFICATE:
        // A request without TLS has no certificate to show.
        if (!request || request->certificate.empty())
            return ERROR_INTERNET_INVALID_OPERATION;
        return CopyStringOption(request->certificate, buffer, length);
    default:
        return ERROR_INTERNET_INVALID_OPTION;
    }
}

DWORD Query(HINTERNET handle, DWORD option, void *buffer, DWORD *length)
{
    if (!length)
        return ERROR_INVALID_PARAMETER;
    std::shared_ptr<Handle> h;
    if (DWORD err = Admit(handle, option, kQuery, h))
        return err;
    Options o = SettingsOf(h);
    if (DWORD *number = NumberOption(o, option))
        return CopyNumber(*number, buffer, length);
    if (std::string *text = StringOption(o, option))
        return CopyStringOption(*text, buffer, length);
    switch (option) {
    case INTERNET_OPTION_VERSION: {
        INTERNET_VERSION_INFO v = {1, 2};
        return CopyFixed(&v, sizeof v, buffer, length);
    }
    case INTERNET_OPTION_HTTP_VERSION: {
        HTTP_VERSION_INFO v = HttpVersion();
        return CopyFixed(&v, sizeof v, buffer, length);
    }
    case INTERNET_OPTION_PROXY:
        return CopyProxy(o.proxy, buffer, length);
    case INTERNET_OPTION_CONNECTED_STATE:
        return CopyNumber(ConnectedStateWord(), buffer, length);
    case INTERNET_OPTION_EXTENDED_ERROR:
        return CopyNumber(LastResponseCode(), buffer, length);
    case INTERNET_OPTION_HANDLE_TYPE:
        return CopyNumber(h->Type(), buffer, length);
    case INTERNET_OPTION_PARENT_HANDLE: {
        HINTERNET parent = h->Parent() ? h->Parent()->Value() : nullptr;
        return CopyFixed(&parent, sizeof parent, buffer, length);
    }
    case INTERNET_OPTION_CONTEXT_VALUE: {
        DWORD_PTR context = h->Context();
        return CopyFixed(&context, sizeof context, buffer, length);
    }
    case INTERNET_OPTION_URL:
        return h->QueryOwnOption(option, buffer, length);
    case INTERNET_OPTION_REQUEST_FLAGS:
    case INTERNET_OPTION_DATAFILE_NAME:
    case INTERNET_OPTION_SECURITY_CERTIFICATE:
        return QueryRequest(*h, option, buffer, length);
    default:
        return ERROR_INTERNET_INVALID_OPTION;
    }
}

DWORD SetProxy(const std::shared_ptr<Handle> &h, const void *buffer, DWORD length)
{
    if (length < sizeof(INTERNET_PROXY_INFO))
        return ERROR_INTERNET_BAD_OPTION_LENGTH;
    INTERNET_PROXY_INFO record;
    std::memcpy(&record, buffer, sizeof record);
    const INTERNET_PROXY_INFO *info = &record;
    ProxySettings s;
    s.accessType = info->dwAccessType;
    switch (s.accessType) {
    case INTERNET_OPEN_TYPE_PRECONFIG:
    case INTERNET_OPEN_TYPE_DIRECT:
    case INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY:
        break;
    case INTERNET_OPEN_TYPE_PROXY:
        if (!info->lpszProxy || !*info->lpszProxy)
            return ERROR_INVALID_PARAMETER;
        s.list = info->lpszProxy;
        s.bypass = info->lpszProxyBypass ? info->lpszProxyBypass : "";
        break;
    default:
        return ERROR_INVALID_PARAMETER;
    }
    Change(h, [&](Options &o) { o.proxy = s; });
    return ERROR_SUCCESS;
}

// A number of exactly four bytes.
DWORD NumberIn(const void *buffer, DWORD length, DWORD &value)
{
    if (length != sizeof(DWORD))
        return ERROR_INTERNET_BAD_OPTION_LENGTH;
    if (!buffer)
        return ERROR_INVALID_PARAMETER;
    std::memcpy(&value, buffer, sizeof value);
    return ERROR_SUCCESS;
}

DWORD Set(HINTERNET handle, DWORD option, const void *buffer, DWORD length)
{
    std::shared_ptr<Handle> h;
    if (DWORD err = Admit(handle, option, kSet, h))
        return err;
    Options probe;
    if (NumberOption(probe, option)) {
        DWORD value;
        if (DWORD err = NumberIn(buffer, length, value))
            return err;
        // A buffer holds at least a byte.
        if (!value && (option == INTERNET_OPTION_READ_BUFFER_SIZE || option == INTERNET_OPTION_WRITE_BUFFER_SIZE))
            return ERROR_INVALID_PARAMETER;
        Change(h, [&](Options &o) { *NumberOption(o, option) = value; });
        return ERROR_SUCCESS;
    }
    if (StringOption(probe, option)) {
        if (!buffer && length)
            return ERROR_INVALID_PARAMETER;
        // The length counts characters; a zero before it ends the text.
        const char *text = static_cast<const char *>(buffer);
        std::string value = text ? std::string(text, strnlen(text, length)) : std::string();
        Change(h, [&](Options &o) { *StringOption(o, option) = value; });
        return ERROR_SUCCESS;
    }
    switch (option) {
    case INTERNET_OPTION_PROXY:
        if (!buffer)
            return ERROR_INVALID_PARAMETER;
        return SetProxy(h, buffer, length);
    case INTERNET_OPTION_HTTP_VERSION: {
        if (length != sizeof(HTTP_VERSION_INFO))
            return ERROR_INTERNET_BAD_OPTION_LENGTH;
        if (!buffer)
            return ERROR_INVALID_PARAMETER;
        HTTP_VERSION_INFO v;
        std::memcpy(&v, buffer, sizeof v);
        if (v.dwMajorVersion != 1 || v.dwMinorVersion > 1)
            return ERROR_INVALID_PARAMETER;
        std::lock_guard<std::mutex> hold(HandleLock());
        httpVersion = v;
        return ERROR_SUCCESS;
    }
    case INTERNET_OPTION_CONNECTED_STATE: {
        if (length != sizeof(INTERNET_CONNECTED_INFO))
            return ERROR_INTERNET_BAD_OPTION_LENGTH;
        if (!buffer)
            return ERROR_INVALID_PARAMETER;
        INTERNET_CONNECTED_INFO info;
        std::memcpy(&info, buffer, sizeof info);
        return SetConnectedState(info);
    }
    case INTERNET_OPTION_CONTEXT_VALUE: {
        if (length != sizeof(DWORD_PTR))
            return ERROR_INTERNET_BAD_OPTION_LENGTH;
        if (!buffer)
            return ERROR_INVALID_PARAMETER;
        DWORD_PTR context;
        std::memcpy(&context, buffer, sizeof context);
        h->SetContext(context);
        return ERROR_SUCCESS;
    }
    case INTERNET_OPTION_END_BROWSER_SESSION:
        EndCookieSession();
        return ERROR_SUCCESS;
    case INTERNET_OPTION_SETTINGS_CHANGED:
    case INTERNET_OPTION_REFRESH:
        // Settings are read when a request is made; there is nothing to reload.
        return ERROR_SUCCESS;
    default:
        // The cache key and the client certificate: nothing here could honour them.
        return ERROR_INTERNET_INVALID_OPTION;
    }
}

}  // namespace

Options &ProcessOptions()
{
    static Options process;
    return process;
}

HTTP_VERSION_INFO HttpVersion()
{
    std::lock_guard<std::mutex> hold(HandleLock());
    return httpVersion;
}

ProxySettings ResolvedProxy(const ProxySettings &settings)
{
    if (settings.accessType == INTERNET_OPEN_TYPE_DIRECT || settings.accessType == INTERNET_OPEN_TYPE_PROXY)
        return settings;
    {
        std::lock_guard<std::mutex> hold(HandleLock());
        const ProxySettings &process = ProcessOptions().proxy;
        if (process.accessType == INTERNET_OPEN_TYPE_DIRECT || process.accessType == INTERNET_OPEN_TYPE_PROXY)
            return process;
    }
    ProxySettings out;
    const char *http = Environment("http_proxy", nullptr);
    const char *https = Environment("https_proxy", "HTTPS_PROXY");
    const char *all = Environment("all_proxy", "ALL_PROXY");
    const char *none = Environment("no_proxy", "NO_PROXY");
    if (!http && !https && !all) {
        out.accessType = INTERNET_OPEN_TYPE_DIRECT;
        return out;
    }
    out.accessType = INTERNET_OPEN_TYPE_PROXY;
    if (http)
        out.list += std::string("http=") + http;
    if (https)
        out.list += std::string(out.list.empty() ? "" : " ") + "https=" + https;
    if (all)
        out.list += std::string(out.list.empty() ? "" : " ") + all;
    if (none) {
        out.bypass = none;
        for (char &c : out.bypass) {
            if (c == ',')
                c = ';';
        }
    }
    return out;
}

DWORD CopyStringOption(const std::string &value, void *buffer, DWORD *length)
{
    DWORD needed = static_cast<DWORD>(value.size() + 1);
    if (!buffer || *length < needed) {
        *length = needed;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(buffer, value.c_str(), needed);
    *length = needed - 1;
    return ERROR_SUCCESS;
}

}  // namespace wininet

using namespace wininet;

BOOL WINAPI InternetQueryOptionA(HINTERNET handle, DWORD option, LPVOID buffer, LPDWORD bufferLength)
{
    DWORD err = Guard([&] { return Query(handle, option, buffer, bufferLength); });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI InternetSetOptionA(HINTERNET handle, DWORD option, LPVOID buffer, DWORD bufferLength)
{
    DWORD err = Guard([&] { return Set(handle, option, buffer, bufferLength); });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}
