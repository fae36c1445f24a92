// Sessions and connections: InternetOpenA and InternetConnectA.
#include "internal.h"

namespace wininet {

namespace {

// Idle multi handles kept per session; each may hold a few live connections.
constexpr std::size_t kPoolLimit = 4;

}  // namespace

ConnectionPool::~ConnectionPool()
{
    for (CURLM *multi : idle_)
        curl_multi_cleanup(multi);
}

CURLM *ConnectionPool::Take()
{
    std::lock_guard<std::mutex> hold(HandleLock());
    if (idle_.empty())
        return nullptr;
    CURLM *multi = idle_.back();
    idle_.pop_back();
    return multi;
}

void ConnectionPool::Give(CURLM *multi)
{
    {
        std::lock_guard<std::mutex> hold(HandleLock());
        if (idle_.size() < kPoolLimit) {
            try {
                idle_.push_back(multi);
                return;
            } catch (const std::bad_alloc &) {
            }
        }
    }
    curl_multi_cleanup(multi);
}

SessionHandle::SessionHandle(DWORD flags)
    : Handle(INTERNET_HANDLE_TYPE_INTERNET, nullptr, 0), flags_(flags), pool_(std::make_shared<ConnectionPool>())
{
}

ConnectionHandle::ConnectionHandle(DWORD type, const std::shared_ptr<SessionHandle> &session,
                                   const ConnectParams &params)
    : Handle(type, session, params.context), params_(params)
{
    // The credentials of InternetConnectA are the connection's user name and
    // password options.
    if (params.hasUser)
        options_.userName = params.user;
    if (params.hasPassword)
        options_.password = params.password;
}

std::shared_ptr<SessionHandle> ConnectionHandle::Session() const
{
    return std::static_pointer_cast<SessionHandle>(Parent());
}

}  // namespace wininet

using namespace wininet;

HINTERNET WINAPI InternetOpenA(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR proxyBypass, DWORD flags)
{
    HINTERNET value = nullptr;
    DWORD err = Guard([&]() -> DWORD {
        switch (accessType) {
        case INTERNET_OPEN_TYPE_PRECONFIG:
        case INTERNET_OPEN_TYPE_DIRECT:
        case INTERNET_OPEN_TYPE_PROXY:
        case INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY:
            break;
        default:
            return ERROR_INVALID_PARAMETER;
        }
        if (accessType == INTERNET_OPEN_TYPE_PROXY && (!proxy || !*proxy))
            return ERROR_INVALID_PARAMETER;
        // The agent goes into every request's head, the proxies into its target.
        for (LPCSTR text : {agent, proxy, proxyBypass}) {
            if (text && !FitsInHeader(text))
                return ERROR_INVALID_PARAMETER;
        }
        if (DWORD e = InitCurl())
            return e;
        auto session = std::make_shared<SessionHandle>(flags);
        session->Configure([&](Options &o) {
            o.agent = agent ? agent : "";
            o.proxy.accessType = accessType;
            if (accessType == INTERNET_OPEN_TYPE_PROXY) {
                o.proxy.list = proxy;
                o.proxy.bypass = proxyBypass ? proxyBypass : "";
            } else {
                o.proxy.list.clear();
                o.proxy.bypass.clear();
            }
        });
        return RegisterHandle(session, &value);
    });
    if (err) {
        SetLastError(err);
        return nullptr;
    }
    return value;
}

HINTERNET WINAPI InternetConnectA(HINTERNET session, LPCSTR serverName, INTERNET_PORT serverPort, LPCSTR userName,
                                  LPCSTR password, DWORD service, DWORD flags, DWORD_PTR context)
{
    HINTERNET value = nullptr;
    DWORD err = Guard([&]() -> DWORD {
        std::shared_ptr<SessionHandle> s;
        if (DWORD e = FindHandleOf(session, s))
            return e;
        if (!serverName || !*serverName)
            return ERROR_INVALID_PARAMETER;
        for (LPCSTR text : {serverName, userName, password}) {
            if (text && !FitsInHeader(text))
                return ERROR_INVALID_PARAMETER;
        }
        ConnectParams params;
        params.server = serverName;
        params.port = serverPort;
        params.hasUser = userName != nullptr;
        params.hasPassword = password != nullptr;
        params.user = userName ? userName : "";
        params.password = password ? password : "";
        params.service = service;
        params.flags = flags;
        params.context = context;
        std::shared_ptr<Handle> connection;
        DWORD e;
        switch (service) {
        case INTERNET_SERVICE_HTTP:
            if (!params.port)
                params.port = (flags & INTERNET_FLAG_SECURE) ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
            e = ConnectHttp(s, params, connection);
            break;
        case INTERNET_SERVICE_GOPHER:
            if (!params.port)
                params.port = INTERNET_DEFAULT_GOPHER_PORT;
            e = ConnectGopher(s, params, connection);
            break;
        case INTERNET_SERVICE_FTP:
            // An FTP login is made at once, and offline there is no network to make it on.
            if (OfflineMode())
                return ERROR_INTERNET_DISCONNECTED;
            if (!params.port)
                params.port = INTERNET_DEFAULT_FTP_PORT;
            e = ConnectFtp(s, params, connection);
            break;
        default:
            return ERROR_INVALID_PARAMETER;
        }
        if (e)
            return e;
        return RegisterHandle(connection, &value);
    });
    if (err) {
        SetLastError(err);
        return nullptr;
    }
    return value;
}
