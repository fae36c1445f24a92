// InternetQueryOptionA and InternetSetOptionA: the options a handle stores,
// and the process-wide ones of the NULL handle.
#include "internal.h"

#include <cstdlib>
#include <cstring>

namespace wininet {

namespace {

HTTP_VERSION_INFO httpVersion = {1, 1};  // guarded by HandleLock()

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

// What PRECONFIG stands for: the process-wide setting if one was made, else
// the proxy environment variables libcurl reads.
ProxySettings Resolved(const ProxySettings &settings)
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

// INTERNET_PROXY_INFO with its lists behind it in the caller's buffer.
DWORD CopyProxy(const ProxySettings &settings, void *buffer, DWORD *length)
{
    ProxySettings s = Resolved(settings);
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

DWORD Query(HINTERNET handle, DWORD option, void *buffer, DWORD *length)
{
    if (!length)
        return ERROR_INVALID_PARAMETER;
    std::shared_ptr<Handle> h;
    if (handle) {
        if (DWORD err = FindHandle(handle, h))
            return err;
    }
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
    case INTERNET_OPTION_HANDLE_TYPE:
        if (!h)
            return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
        return CopyNumber(h->Type(), buffer, length);
    case INTERNET_OPTION_PARENT_HANDLE: {
        if (!h)
            return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
        HINTERNET parent = h->Parent() ? h->Parent()->Value() : nullptr;
        return CopyFixed(&parent, sizeof parent, buffer, length);
    }
    case INTERNET_OPTION_CONTEXT_VALUE: {
        if (!h)
            return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
        DWORD_PTR context = h->Context();
        return CopyFixed(&context, sizeof context, buffer, length);
    }
    case INTERNET_OPTION_URL: {
        if (!h)
            return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
        DWORD err = h->QueryOwnOption(option, buffer, length);
        return err == ERROR_INTERNET_INVALID_OPTION ? ERROR_INTERNET_INCORRECT_HANDLE_TYPE : err;
    }
    default:
        if (h)
            return h->QueryOwnOption(option, buffer, length);
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

DWORD Set(HINTERNET handle, DWORD option, const void *buffer, DWORD length)
{
    std::shared_ptr<Handle> h;
    if (handle) {
        if (DWORD err = FindHandle(handle, h))
            return err;
    }
    Options probe;
    if (NumberOption(probe, option)) {
        if (length != sizeof(DWORD))
            return ERROR_INTERNET_BAD_OPTION_LENGTH;
        if (!buffer)
            return ERROR_INVALID_PARAMETER;
        DWORD value;
        std::memcpy(&value, buffer, sizeof value);
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
    case INTERNET_OPTION_END_BROWSER_SESSION:
        EndCookieSession();
        return ERROR_SUCCESS;
    case INTERNET_OPTION_SETTINGS_CHANGED:
    case INTERNET_OPTION_REFRESH:
        // Settings are read when a request is made; there is nothing to reload.
        return ERROR_SUCCESS;
    case INTERNET_OPTION_HANDLE_TYPE:
    case INTERNET_OPTION_PARENT_HANDLE:
    case INTERNET_OPTION_URL:
    case INTERNET_OPTION_VERSION:
        return ERROR_INTERNET_OPTION_NOT_SETTABLE;
    default:
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
