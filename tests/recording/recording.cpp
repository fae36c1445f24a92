// The recording WinINet: every call logged with its arguments, results scripted by the test.
#include "recording.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>

namespace recording {
namespace {

struct Failure {
    std::string function;
    DWORD error;
    int skip;
};

struct Recorder {
    std::mutex lock;
    std::vector<Call> calls;
    std::deque<Failure> failures;
    std::set<ULONG_PTR> open;
    std::map<ULONG_PTR, size_t> readPosition;
    ULONG_PTR nextHandle = 1;
    std::string readData;
    DWORD chunk = 0;
    DWORD writeLimit = MAXDWORD;
    std::string written;
    DWORD responseError = 0;
    std::string responseText;
    DWORD connectedState = INTERNET_CONNECTION_LAN;
    DWORD_PTR dialConnection = 0x5A5A;
    std::string connectionName;
    struct Value {
        std::string bytes;
        DWORD delivered;
        bool proxy = false; // a proxy record: pointers made for the caller's buffer
        DWORD accessType = 0;
        std::string proxyList, bypassList;
        bool hasProxy = false, hasBypass = false;
    };
    std::map<DWORD, Value> options;
    std::string lastOptionSet;
    std::optional<std::string> cookie;
    DWORD cookieState = COOKIE_STATE_ACCEPT;
    DWORD cookieError = 0;
    std::vector<FindEntry> findEntries;
    std::map<ULONG_PTR, size_t> findPosition;
    std::string currentDirectory = "/pub";
};

Recorder &R()
{
    static Recorder recorder;
    return recorder;
}

std::string Text(LPCSTR s) { return s ? std::string(s) : std::string("null"); }

std::string Hex(DWORD v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

std::string Dec(ULONG_PTR v) { return std::to_string(v); }

std::string H(HINTERNET h)
{
    if (!h)
        return "null";
    return "h" + std::to_string((ULONG_PTR)h);
}

std::string P(const void *p) { return p ? "ptr" : "null"; }

// Logs the call; returns the error to fail with, 0 to succeed.
DWORD Record(const char *function, std::vector<std::string> args)
{
    Recorder &r = R();
    std::lock_guard<std::mutex> guard(r.lock);
    r.calls.push_back({function, std::move(args)});
    for (auto it = r.failures.begin(); it != r.failures.end(); ++it) {
        if (it->function != function)
            continue;
        if (it->skip > 0) {
            it->skip--;
            return 0;
        }
        DWORD error = it->error;
        r.failures.erase(it);
        return error;
    }
    return 0;
}

HINTERNET NewHandle()
{
    Recorder &r = R();
    std::lock_guard<std::mutex> guard(r.lock);
    ULONG_PTR h = r.nextHandle++;
    r.open.insert(h);
    return (HINTERNET)h;
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

} // namespace

std::string Call::Text() const
{
    std::string s = function + "(";
    for (size_t i = 0; i < args.size(); i++)
        s += (i ? ", " : "") + args[i];
    return s + ")";
}

void Reset()
{
    Recorder &r = R();
    std::lock_guard<std::mutex> guard(r.lock);
    r.calls.clear();
    r.failures.clear();
    r.open.clear();
    r.readPosition.clear();
    r.readData.clear();
    r.chunk = 0;
    r.writeLimit = MAXDWORD;
    r.written.clear();
    r.responseError = 0;
    r.responseText.clear();
    r.connectedState = INTERNET_CONNECTION_LAN;
    r.dialConnection = 0x5A5A;
    r.connectionName.clear();
    r.options.clear();
    r.lastOptionSet.clear();
    r.cookie.reset();
    r.cookieState = COOKIE_STATE_ACCEPT;
    r.cookieError = 0;
    r.findEntries.clear();
    r.findPosition.clear();
    r.currentDirectory = "/pub";
}

std::vector<Call> Calls()
{
    std::lock_guard<std::mutex> guard(R().lock);
    return R().calls;
}

std::vector<Call> CallsTo(const std::string &function)
{
    std::vector<Call> out;
    for (const Call &c : Calls())
        if (c.function == function)
            out.push_back(c);
    return out;
}

std::vector<std::string> CallNames()
{
    std::vector<std::string> out;
    for (const Call &c : Calls())
        out.push_back(c.function);
    return out;
}

std::string Name(HINTERNET handle) { return H(handle); }

void FailNext(const std::string &function, DWORD error, int skip)
{
    std::lock_guard<std::mutex> guard(R().lock);
    R().failures.push_back({function, error, skip});
}

void SetReadData(const std::string &data, DWORD chunk)
{
    std::lock_guard<std::mutex> guard(R().lock);
    R().readData = data;
    R().chunk = chunk;
    R().readPosition.clear();
}

void SetWriteLimit(DWORD limit)
{
    std::lock_guard<std::mutex> guard(R().lock);
    R().writeLimit = limit;
}

std::string Written()
{
    std::lock_guard<std::mutex> guard(R().lock);
    return R().written;
}

void SetResponse(DWORD error, const std::string &text)
{
    std::lock_guard<std::mutex> guard(R().lock);
    R().responseError = error;
    R().responseText = text;
}

size_t OpenHandles()
{
    std::lock_guard<std::mutex> guard(R().lock);
    return R().open.size();
}

void SetConnectedState(DWORD flags)
{
    std::lock_guard<std::mutex> guard(R().lock);
    R().connectedState = flags;
}

void SetDialConnection(DWORD_PTR connection)
{
    std::lock_guard<std::mutex> guard(R().lock);
    R().dialConnection = connection;
}

void SetConnectionName(const std::string &name)
{
    std::lock_guard<std::mutex> guard(R().lock);
    R().connectionName = name;
}

void SetOptionValue(DWORD option, const std::string &bytes, DWORD delivered)
{
    std::lock_guard<std::mutex> guard(R().lock);
    Recorder::Value v;
    v.bytes = bytes;
    v.delivered = delivered == MAXDWORD ? (DWORD)bytes.size() : delivered;
    R().options[option] = v;
}

void SetOptionText(DWORD option, const std::string &text)
{
    SetOptionValue(option, text + std::string(1, '\0'), (DWORD)text.size());
}

void SetProxyRecord(DWORD accessType, const char *proxy, const char *bypass)
{
    std::lock_guard<std::mutex> guard(R().lock);
    Recorder::Value v;
    v.proxy = true;
    v.accessType = accessType;
    v.hasProxy = proxy != nullptr;
    v.hasBypass = bypass != nullptr;
    v.proxyList = proxy ? proxy : "";
    v.bypassList = bypass ? bypass : "";
    size_t size = sizeof(INTERNET_PROXY_INFO);
    if (proxy)
        size += v.proxyList.size() + 1;
    if (bypass)
        size += v.bypassList.size() + 1;
    v.bytes.assign(size, '\0');
    v.delivered = (DWORD)size;
    R().options[38] = v;
}

std::string LastOptionSet()
{
    std::lock_guard<std::mutex> guard(R().lock);
    return R().lastOptionSet;
}

void SetCookieData(const std::string &data)
{
    std::lock_guard<std::mutex> guard(R().lock);
    R().cookie = data;
}

void ClearCookieData()
{
    std::lock_guard<std::mutex> guard(R().lock);
    R().cookie.reset();
}

void SetCookieState(DWORD state, DWORD error)
{
    std::lock_guard<std::mutex> guard(R().lock);
    R().cookieState = state;
    R().cookieError = error;
}

namespace {

// A value scripted for an option, into the caller's buffer by WinINet's sizing rules.
BOOL QueryValue(const Recorder::Value &v, LPVOID buffer, LPDWORD length)
{
    if (!buffer || *length < v.bytes.size()) {
        *length = (DWORD)v.bytes.size();
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    char *out = (char *)buffer;
    std::copy(v.bytes.begin(), v.bytes.end(), out);
    if (v.proxy) {
        INTERNET_PROXY_INFO info = {v.accessType, nullptr, nullptr};
        char *text = out + sizeof info;
        if (v.hasProxy) {
            std::copy(v.proxyList.begin(), v.proxyList.end(), text);
            text[v.proxyList.size()] = '\0';
            info.lpszProxy = text;
            text += v.proxyList.size() + 1;
        }
        if (v.hasBypass) {
            std::copy(v.bypassList.begin(), v.bypassList.end(), text);
            text[v.bypassList.size()] = '\0';
            info.lpszProxyBypass = text;
        }
        std::memcpy(out, &info, sizeof info);
    }
    *length = v.delivered;
    return TRUE;
}

// A cookie text by InternetGetCookie's sizing rules: the zero byte counted, except after a fetch.
BOOL CookieInto(LPSTR data, LPDWORD size)
{
    Recorder &r = R();
    std::lock_guard<std::mutex> guard(r.lock);
    if (!r.cookie)
        return Fail(ERROR_NO_MORE_ITEMS);
    DWORD needed = (DWORD)r.cookie->size() + 1;
    if (!data) {
        *size = needed;
        return TRUE;
    }
    if (*size < needed) {
        *size = needed;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::copy(r.cookie->begin(), r.cookie->end(), data);
    data[r.cookie->size()] = '\0';
    *size = needed - 1;
    return TRUE;
}

} // namespace

void SetFindEntries(const std::vector<FindEntry> &entries)
{
    std::lock_guard<std::mutex> guard(R().lock);
    R().findEntries = entries;
}

void SetCurrentDirectory(const std::string &directory)
{
    std::lock_guard<std::mutex> guard(R().lock);
    R().currentDirectory = directory;
}

} // namespace recording

using namespace recording;

namespace {

// Entry `index` of the listing into a record as WinINet fills one; false past the end.
bool FillFind(size_t index, WIN32_FIND_DATAA *data)
{
    Recorder &r = R();
    std::lock_guard<std::mutex> guard(r.lock);
    if (index >= r.findEntries.size())
        return false;
    const FindEntry &e = r.findEntries[index];
    *data = WIN32_FIND_DATAA{}; // dwReserved0 too: the name length is the handler's to write
    data->dwFileAttributes = e.attributes;
    data->nFileSizeHigh = (DWORD)(e.size >> 32);
    data->nFileSizeLow = (DWORD)e.size;
    data->ftLastWriteTime = {0xBFC20000, 0x01D8D528}; // 2022-10-01 00:00:00 UTC
    data->ftCreationTime = data->ftLastAccessTime = data->ftLastWriteTime;
    std::snprintf(data->cFileName, sizeof data->cFileName, "%s", e.name.c_str());
    return true;
}

} // namespace

HINTERNET WINAPI InternetOpenA(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR proxyBypass, DWORD flags)
{
    if (DWORD e = Record("InternetOpenA", {Text(agent), Dec(accessType), Text(proxy), Text(proxyBypass), Hex(flags)}))
        return Fail(e), nullptr;
    return NewHandle();
}

HINTERNET WINAPI InternetConnectA(HINTERNET session, LPCSTR serverName, INTERNET_PORT serverPort, LPCSTR userName,
                                  LPCSTR password, DWORD service, DWORD flags, DWORD_PTR context)
{
    if (DWORD e = Record("InternetConnectA", {H(session), Text(serverName), Dec(serverPort), Text(userName),
                                              Text(password), Dec(service), Hex(flags), Dec(context)}))
        return Fail(e), nullptr;
    return NewHandle();
}

HINTERNET WINAPI InternetOpenUrlA(HINTERNET session, LPCSTR url, LPCSTR headers, DWORD headersLength, DWORD flags,
                                  DWORD_PTR context)
{
    std::string h = headers ? std::string(headers, headersLength) : "null";
    if (DWORD e = Record("InternetOpenUrlA",
                         {H(session), Text(url), h, Dec(headersLength), Hex(flags), Dec(context)}))
        return Fail(e), nullptr;
    return NewHandle();
}

BOOL WINAPI InternetCloseHandle(HINTERNET handle)
{
    if (DWORD e = Record("InternetCloseHandle", {H(handle)}))
        return Fail(e); // a failed close leaves the handle open
    Recorder &r = R();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.open.erase((ULONG_PTR)handle) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

BOOL WINAPI InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read)
{
    if (DWORD e = Record("InternetReadFile", {H(file), Dec(toRead)}))
        return Fail(e);
    Recorder &r = R();
    std::lock_guard<std::mutex> guard(r.lock);
    size_t &pos = r.readPosition[(ULONG_PTR)file];
    size_t n = std::min<size_t>(toRead, r.readData.size() - pos);
    if (r.chunk)
        n = std::min<size_t>(n, r.chunk);
    std::copy_n(r.readData.data() + pos, n, (char *)buffer);
    pos += n;
    r.calls.back().args.push_back(Dec(n)); // what was delivered
    *read = (DWORD)n;
    return TRUE;
}

BOOL WINAPI InternetWriteFile(HINTERNET file, LPCVOID buffer, DWORD toWrite, LPDWORD written)
{
    if (DWORD e = Record("InternetWriteFile", {H(file), Dec(toWrite)}))
        return Fail(e);
    Recorder &r = R();
    std::lock_guard<std::mutex> guard(r.lock);
    DWORD n = std::min(toWrite, r.writeLimit);
    r.written.append((const char *)buffer, n);
    r.calls.back().args.push_back(Dec(n));
    *written = n;
    return TRUE;
}

BOOL WINAPI InternetGetLastResponseInfoA(LPDWORD error, LPSTR buffer, LPDWORD length)
{
    if (DWORD e = Record("InternetGetLastResponseInfoA", {Dec(*length)}))
        return Fail(e);
    Recorder &r = R();
    std::lock_guard<std::mutex> guard(r.lock);
    *error = r.responseError;
    if (!buffer || *length <= r.responseText.size()) {
        *length = (DWORD)r.responseText.size();
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::copy(r.responseText.begin(), r.responseText.end(), buffer);
    buffer[r.responseText.size()] = '\0';
    *length = (DWORD)r.responseText.size();
    return TRUE;
}

BOOL WINAPI InternetQueryOptionA(HINTERNET handle, DWORD option, LPVOID buffer, LPDWORD length)
{
    if (DWORD e = Record("InternetQueryOptionA", {H(handle), Dec(option), P(buffer), Dec(*length)}))
        return Fail(e);
    Recorder &r = R();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.options.find(option);
    if (it == r.options.end())
        return TRUE;
    return QueryValue(it->second, buffer, length);
}

BOOL WINAPI InternetSetOptionA(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length)
{
    if (DWORD e = Record("InternetSetOptionA", {H(handle), Dec(option), P(buffer), Dec(length)}))
        return Fail(e);
    std::string value;
    if (option == 38 && buffer && length == sizeof(INTERNET_PROXY_INFO)) {
        INTERNET_PROXY_INFO info;
        std::memcpy(&info, buffer, sizeof info);
        value = "{" + Dec(info.dwAccessType) + ", " + Text(info.lpszProxy) + ", " + Text(info.lpszProxyBypass) + "}";
    } else if (buffer) {
        value.assign((const char *)buffer, length);
    }
    std::lock_guard<std::mutex> guard(R().lock);
    R().lastOptionSet = value;
    return TRUE;
}

BOOL WINAPI InternetGetCookieA(LPCSTR url, LPCSTR name, LPSTR data, LPDWORD size)
{
    if (DWORD e = Record("InternetGetCookieA", {Text(url), Text(name), P(data), Dec(*size)}))
        return Fail(e);
    return CookieInto(data, size);
}

BOOL WINAPI InternetGetCookieExA(LPCSTR url, LPCSTR name, LPSTR data, LPDWORD size, DWORD flags, LPVOID reserved)
{
    if (DWORD e = Record("InternetGetCookieExA", {Text(url), Text(name), P(data), Dec(*size), Hex(flags), P(reserved)}))
        return Fail(e);
    return CookieInto(data, size);
}

BOOL WINAPI InternetSetCookieA(LPCSTR url, LPCSTR name, LPCSTR data)
{
    if (DWORD e = Record("InternetSetCookieA", {Text(url), Text(name), Text(data)}))
        return Fail(e);
    return TRUE;
}

DWORD WINAPI InternetSetCookieExA(LPCSTR url, LPCSTR name, LPCSTR data, DWORD flags, DWORD_PTR reserved)
{
    if (DWORD e = Record("InternetSetCookieExA",
                         {Text(url), Text(name), Text(data), Hex(flags), reserved ? Text((LPCSTR)reserved) : "null"}))
        return Fail(e), COOKIE_STATE_UNKNOWN;
    std::lock_guard<std::mutex> guard(R().lock);
    if (R().cookieState != COOKIE_STATE_ACCEPT)
        SetLastError(R().cookieError);
    return R().cookieState;
}

DWORD WINAPI InternetDial(HWND parent, LPSTR connectoid, DWORD flags, DWORD_PTR *connection, DWORD reserved)
{
    if (DWORD e = Record("InternetDial", {Dec((ULONG_PTR)parent), Text(connectoid), Hex(flags), Dec(reserved)}))
        return e;
    *connection = R().dialConnection;
    return ERROR_SUCCESS;
}

DWORD WINAPI InternetHangUp(DWORD_PTR connection, DWORD reserved)
{
    return Record("InternetHangUp", {Dec(connection), Dec(reserved)});
}

BOOL WINAPI InternetAutodial(DWORD flags, HWND parent)
{
    if (DWORD e = Record("InternetAutodial", {Hex(flags), Dec((ULONG_PTR)parent)}))
        return Fail(e);
    return TRUE;
}

BOOL WINAPI InternetAutodialHangup(DWORD reserved)
{
    if (DWORD e = Record("InternetAutodialHangup", {Dec(reserved)}))
        return Fail(e);
    return TRUE;
}

BOOL WINAPI InternetGetConnectedState(LPDWORD flags, DWORD reserved)
{
    DWORD e = Record("InternetGetConnectedState", {Dec(reserved)});
    *flags = R().connectedState;
    return e ? Fail(e) : TRUE;
}

BOOL WINAPI InternetGetConnectedStateEx(LPDWORD flags, LPSTR name, DWORD nameLength, DWORD reserved)
{
    // The name is written, never read: the caller's buffer holds anything on entry.
    DWORD e = Record("InternetGetConnectedStateEx", {P(name), Dec(nameLength), Dec(reserved)});
    std::lock_guard<std::mutex> guard(R().lock);
    *flags = R().connectedState;
    if (name && nameLength) {
        size_t n = std::min<size_t>(R().connectionName.size(), nameLength - 1);
        std::copy_n(R().connectionName.data(), n, name);
        name[n] = '\0';
    }
    return e ? Fail(e) : TRUE;
}

BOOL WINAPI FtpGetFileA(HINTERNET connect, LPCSTR remote, LPCSTR local, BOOL failIfExists, DWORD attributes,
                        DWORD flags, DWORD_PTR context)
{
    if (DWORD e = Record("FtpGetFileA", {H(connect), Text(remote), Text(local), Dec(failIfExists), Hex(attributes),
                                         Hex(flags), Dec(context)}))
        return Fail(e);
    return TRUE;
}

BOOL WINAPI FtpPutFileA(HINTERNET connect, LPCSTR local, LPCSTR remote, DWORD flags, DWORD_PTR context)
{
    if (DWORD e = Record("FtpPutFileA", {H(connect), Text(local), Text(remote), Hex(flags), Dec(context)}))
        return Fail(e);
    return TRUE;
}

BOOL WINAPI FtpRenameFileA(HINTERNET connect, LPCSTR existing, LPCSTR newName)
{
    if (DWORD e = Record("FtpRenameFileA", {H(connect), Text(existing), Text(newName)}))
        return Fail(e);
    return TRUE;
}

BOOL WINAPI FtpDeleteFileA(HINTERNET connect, LPCSTR name)
{
    if (DWORD e = Record("FtpDeleteFileA", {H(connect), Text(name)}))
        return Fail(e);
    return TRUE;
}

BOOL WINAPI FtpCreateDirectoryA(HINTERNET connect, LPCSTR directory)
{
    if (DWORD e = Record("FtpCreateDirectoryA", {H(connect), Text(directory)}))
        return Fail(e);
    return TRUE;
}

BOOL WINAPI FtpRemoveDirectoryA(HINTERNET connect, LPCSTR directory)
{
    if (DWORD e = Record("FtpRemoveDirectoryA", {H(connect), Text(directory)}))
        return Fail(e);
    return TRUE;
}

BOOL WINAPI FtpSetCurrentDirectoryA(HINTERNET connect, LPCSTR directory)
{
    if (DWORD e = Record("FtpSetCurrentDirectoryA", {H(connect), Text(directory)}))
        return Fail(e);
    return TRUE;
}

BOOL WINAPI FtpGetCurrentDirectoryA(HINTERNET connect, LPSTR directory, LPDWORD length)
{
    if (DWORD e = Record("FtpGetCurrentDirectoryA", {H(connect), Dec(*length)}))
        return Fail(e);
    std::string cwd;
    {
        std::lock_guard<std::mutex> guard(R().lock);
        cwd = R().currentDirectory;
    }
    // As WinINet: too small, the size needed with the zero counted, and nothing written.
    if (!directory || *length <= cwd.size()) {
        *length = (DWORD)cwd.size() + 1;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::copy(cwd.begin(), cwd.end(), directory);
    directory[cwd.size()] = '\0';
    *length = (DWORD)cwd.size();
    return TRUE;
}

HINTERNET WINAPI FtpFindFirstFileA(HINTERNET connect, LPCSTR search, LPWIN32_FIND_DATAA data, DWORD flags,
                                   DWORD_PTR context)
{
    if (DWORD e = Record("FtpFindFirstFileA", {H(connect), Text(search), Hex(flags), Dec(context)}))
        return Fail(e), nullptr;
    if (!FillFind(0, data))
        return Fail(ERROR_NO_MORE_FILES), nullptr;
    HINTERNET find = NewHandle();
    std::lock_guard<std::mutex> guard(R().lock);
    R().findPosition[(ULONG_PTR)find] = 1;
    return find;
}

BOOL WINAPI InternetFindNextFileA(HINTERNET find, LPVOID data)
{
    if (DWORD e = Record("InternetFindNextFileA", {H(find)}))
        return Fail(e);
    size_t index;
    {
        std::lock_guard<std::mutex> guard(R().lock);
        if (!R().open.count((ULONG_PTR)find) || !R().findPosition.count((ULONG_PTR)find))
            return Fail(ERROR_INVALID_HANDLE);
        index = R().findPosition[(ULONG_PTR)find]++;
    }
    if (!FillFind(index, (LPWIN32_FIND_DATAA)data))
        return Fail(ERROR_NO_MORE_FILES);
    return TRUE;
}
