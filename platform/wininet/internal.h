// Private interfaces of the WinINet stand-in: the handle model, the error
// table, the transfer engine on libcurl and the protocol entry points.
#ifndef PLATFORM_WININET_INTERNAL_H
#define PLATFORM_WININET_INTERNAL_H

#include <windows.h>
#include <wininet.h>

#include <curl/curl.h>

#include "text.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wininet {

// ---- exports' guard ----

// Runs an internal function so that no exception crosses the Win32 boundary.
template <class F>
DWORD Guard(F &&body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

// libcurl's process-wide setup, done once before the first curl call.
DWORD InitCurl();

// ---- per-user folder ----

// The stand-ins' per-user folder ($PLATFORM_USER_DIR, else $HOME/.brevanto-platform),
// made when missing; empty when it cannot be had.
std::string UserDirectory();

// ---- names ----

// <userdir>/hosts (hosts(5) form): when the file exists, the only source of
// names; a name it does not list is not resolved (names.cpp).
class HostsTable {
public:
    void Parse(std::istream &in);
    // The addresses the file gives a name (any case, a final dot ignored), and the first of them.
    const std::vector<std::string> *AddressesOf(std::string_view name) const;
    const std::string *Find(std::string_view name) const;
    // An address, or a name the file lists.
    bool Knows(std::string_view host) const;
    // CURLOPT_CONNECT_TO entries that send every listed name but `except`
    // to its first address; the caller frees it.
    curl_slist *ConnectTo(std::string_view except = {}) const;
    // The CURLOPT_RESOLVE entry giving host:port the first `limit` of its addresses; empty for no listed name.
    std::string PinEntry(const std::string &host, INTERNET_PORT port, std::size_t limit) const;
    // The CURLOPT_RESOLVE entry for a proxy ("[scheme://]host[:port]") that
    // is an address or a listed name; nullopt for a name the file does not
    // list; empty when there is nothing to enter (no host, an IPv6 address).
    std::optional<std::string> ResolveEntry(const std::string &proxy) const;

private:
    std::map<std::string, std::vector<std::string>> addresses_;
    std::vector<std::string> names_;  // in the file's order
};
// The table of <userdir>/hosts, read now; null when there is no such file.
std::shared_ptr<const HostsTable> LoadHostsTable();
// An IPv4 or IPv6 address (IPv6 with or without brackets).
bool IsAddress(std::string_view host);
// Two host names alike as the hosts file matches them.
bool SameName(std::string_view a, std::string_view b);
// The proxies the environment names (http_proxy and the others libcurl reads).
std::vector<std::string> EnvironmentProxies();

// ---- options ----

struct ProxySettings {
    DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
    std::string list;    // "[scheme=]host[:port]" entries, as InternetOpenA takes them
    std::string bypass;  // host patterns, "<local>" among them
};

// What a handle carries and hands to the handles made under it.
struct Options {
    std::string agent;
    std::string userName;
    std::string password;
    std::string proxyUserName;
    std::string proxyPassword;
    ProxySettings proxy;
    DWORD connectTimeout = 60000;
    DWORD connectRetries = 5;
    DWORD sendTimeout = 30000;
    DWORD receiveTimeout = 30000;
    DWORD dataSendTimeout = 30000;
    DWORD dataReceiveTimeout = 30000;
    DWORD readBufferSize = 4096;
    DWORD writeBufferSize = 4096;
    DWORD requestPriority = 0;  // HTTP requests only
};

// Process-wide settings, those of the NULL handle; read and written under HandleLock().
Options &ProcessOptions();
// The HTTP version every request uses (INTERNET_OPTION_HTTP_VERSION), process-wide.
HTTP_VERSION_INFO HttpVersion();
// What PRECONFIG stands for: the process-wide setting if one was made, else the
// proxy environment variables libcurl reads. Other access types stay as they are.
ProxySettings ResolvedProxy(const ProxySettings &settings);

// ---- the connected state and dial-up ----

// INTERNET_STATE_* for INTERNET_OPTION_CONNECTED_STATE: the machine's state, or
// the offline mode an application chose, and whether transfers are under way.
DWORD ConnectedStateWord();
// INTERNET_OPTION_CONNECTED_STATE set: offline mode on or off.
DWORD SetConnectedState(const INTERNET_CONNECTED_INFO &info);
// Offline mode is on: nothing is fetched from the network.
bool OfflineMode();
// Transfers are under way in this process (INTERNET_STATE_BUSY).
bool TransfersBusy();

// ---- data files (INTERNET_FLAG_NEED_FILE) ----

// A file in the per-user folder that receives a copy of what is read from a
// URL handle; removed with the handle.
class DataFile {
public:
    // Makes the file, named after the URL's last path segment.
    static DWORD Create(const std::string &urlPath, std::shared_ptr<DataFile> &file);
    DataFile(const DataFile &) = delete;
    DataFile &operator=(const DataFile &) = delete;
    ~DataFile();
    const std::string &Path() const { return path_; }
    DWORD Append(const void *data, DWORD size);

private:
    DataFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    const std::string path_;
    const int fd_;
    std::mutex lock_;
};

// ---- handles ----

// The one lock of the handle model: the table, the tree and every handle's options.
std::mutex &HandleLock();

class Handle {
public:
    Handle(DWORD type, std::shared_ptr<Handle> parent, DWORD_PTR context);
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    virtual ~Handle();

    DWORD Type() const { return type_; }
    HINTERNET Value() const { return value_; }
    const std::shared_ptr<Handle> &Parent() const { return parent_; }
    DWORD_PTR Context() const { return context_.load(); }
    void SetContext(DWORD_PTR context) { context_.store(context); }
    bool IsClosed() const { return closed_.load(); }
    const std::atomic<bool> &ClosedFlag() const { return closed_; }

    // A copy of the options, taken under the lock.
    Options Settings() const;
    // Changes the options under the lock.
    void Configure(const std::function<void(Options &)> &change);

    virtual bool Readable() const { return false; }
    virtual bool Writable() const { return false; }
    virtual DWORD Read(void *buffer, DWORD size, DWORD *got);
    virtual DWORD Write(const void *buffer, DWORD size, DWORD *written);
    // Options only some kinds of handle have (the URL of a URL handle...).
    // ERROR_INTERNET_INVALID_OPTION when this kind has none of that number.
    virtual DWORD QueryOwnOption(DWORD option, void *buffer, DWORD *length);
    // The handle has left the table: wake and stop whatever waits on it.
    virtual void OnClose() {}

    // What a URL handle's request was, as options tell it.
    struct Request {
        DWORD flags = 0;                     // INTERNET_REQFLAG_*
        std::string certificate;             // the server's certificate as text; empty without TLS
        std::shared_ptr<DataFile> dataFile;  // INTERNET_FLAG_NEED_FILE: a copy of what is read
    };
    // Set once, before the handle is registered; fixed from then on.
    void Describe(Request request) { request_ = std::make_unique<const Request>(std::move(request)); }
    // Null for handles that are no URL handle.
    const Request *RequestInfo() const { return request_.get(); }

protected:
    Options options_;  // guarded by HandleLock()

private:
    friend class HandleTable;
    const DWORD type_;
    const std::shared_ptr<Handle> parent_;
    std::atomic<DWORD_PTR> context_;
    HINTERNET value_ = nullptr;
    std::vector<HINTERNET> children_;  // guarded by HandleLock()
    std::atomic<bool> closed_{false};
    std::unique_ptr<const Request> request_;
};

// Enters a new handle into the table, under its parent; gives its HINTERNET.
DWORD RegisterHandle(const std::shared_ptr<Handle> &handle, HINTERNET *value);
// The handle a caller passed, or ERROR_INVALID_HANDLE for NULL, unknown and closed ones.
DWORD FindHandle(HINTERNET value, std::shared_ptr<Handle> &handle);
// As FindHandle, and ERROR_INTERNET_INCORRECT_HANDLE_TYPE unless it is a T.
template <class T>
DWORD FindHandleOf(HINTERNET value, std::shared_ptr<T> &handle)
{
    std::shared_ptr<Handle> found;
    if (DWORD err = FindHandle(value, found))
        return err;
    handle = std::dynamic_pointer_cast<T>(found);
    return handle ? ERROR_SUCCESS : ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
}
// Closes the handle and everything made under it.
DWORD CloseHandleTree(HINTERNET value);

// ---- errors and server replies ----

// The WinINet code for a failed transfer; easy gives the detail (errno, TLS verify result).
DWORD FromCurl(CURLcode code, CURL *easy);
// The WinINet code for an OpenSSL verify result (X509_V_ERR_*).
DWORD FromVerifyResult(long verifyResult);

// The calling thread's last server reply, for InternetGetLastResponseInfoA;
// kept to its first 199 characters.
void SetLastResponse(DWORD code, std::string text);
// Its code (INTERNET_OPTION_EXTENDED_ERROR).
DWORD LastResponseCode();

// The WinINet code for an FTP server's failure reply (4xx, 5xx).
DWORD FromFtpReply(int code);

// ---- URLs ----

enum class Scheme { Http, Https, Gopher, Ftp };

struct Url {
    Scheme scheme = Scheme::Http;
    std::string text;      // the URL as handed to libcurl (escaped where WinINet escapes)
    std::string host;      // as written, without brackets for IPv6
    INTERNET_PORT port = 0;
    bool explicitPort = false;
    std::string user;      // still escaped
    std::string password;  // still escaped
    std::string path;      // "/" at least
};

// Parses a URL as InternetOpenUrlA takes it: ERROR_INTERNET_UNRECOGNIZED_SCHEME
// without a scheme or with one not handled here, ERROR_INTERNET_INVALID_URL when malformed.
DWORD ParseUrl(std::string_view text, Url &url);
// The URL with its scheme (and default port) changed, for INTERNET_FLAG_SECURE.
DWORD WithScheme(const Url &url, Scheme scheme, Url &result);
// The user and password taken out of the URL (for INTERNET_FLAG_NO_AUTH).
DWORD WithoutCredentials(const Url &url, Url &result);
const char *SchemeName(Scheme scheme);
// A URL part with its %XX escapes decoded.
std::string Unescape(const std::string &text);

// ---- proxies ----

struct ProxyChoice {
    bool useEnvironment = false;  // leave libcurl to read http_proxy and the others
    std::string proxy;            // "" for a direct connection
};
// The proxy a request to url goes through under the given settings.
ProxyChoice ChooseProxy(const ProxySettings &settings, const Url &url);
// The proxy entry of a list for a scheme ("" when none applies), as a libcurl proxy URL.
std::string ProxyForScheme(const std::string &list, const char *scheme);
// Whether host (and port) is in the bypass list.
bool Bypassed(const std::string &bypass, const std::string &host, INTERNET_PORT port);
// Whether a request to url under these settings goes through a proxy.
bool GoesThroughProxy(const Options &options, const Url &url);

// ---- sessions and connections ----

// Idle libcurl multi handles whose connections later requests may reuse
// (INTERNET_FLAG_KEEP_CONNECTION, INTERNET_FLAG_EXISTING_CONNECT).
class ConnectionPool {
public:
    ConnectionPool() = default;
    ConnectionPool(const ConnectionPool &) = delete;
    ConnectionPool &operator=(const ConnectionPool &) = delete;
    ~ConnectionPool();
    CURLM *Take();
    void Give(CURLM *multi);

private:
    std::vector<CURLM *> idle_;  // guarded by HandleLock()
};

class SessionHandle : public Handle {
public:
    SessionHandle(DWORD flags);
    DWORD Flags() const { return flags_; }
    const std::shared_ptr<ConnectionPool> &Pool() const { return pool_; }

private:
    const DWORD flags_;
    const std::shared_ptr<ConnectionPool> pool_;
};

struct ConnectParams {
    std::string server;
    INTERNET_PORT port = 0;
    std::string user;
    std::string password;
    bool hasUser = false;
    bool hasPassword = false;
    DWORD service = 0;
    DWORD flags = 0;
    DWORD_PTR context = 0;
};

// A connection to one server; each service is a kind of it.
class ConnectionHandle : public Handle {
public:
    ConnectionHandle(DWORD type, const std::shared_ptr<SessionHandle> &session, const ConnectParams &params);
    const ConnectParams &Params() const { return params_; }
    std::shared_ptr<SessionHandle> Session() const;

private:
    const ConnectParams params_;
};

DWORD ConnectHttp(const std::shared_ptr<SessionHandle> &session, const ConnectParams &params,
                  std::shared_ptr<Handle> &connection);
DWORD ConnectGopher(const std::shared_ptr<SessionHandle> &session, const ConnectParams &params,
                    std::shared_ptr<Handle> &connection);
DWORD ConnectFtp(const std::shared_ptr<SessionHandle> &session, const ConnectParams &params,
                 std::shared_ptr<Handle> &connection);

struct OpenUrlParams {
    Url url;
    std::string headers;
    DWORD flags = 0;
    DWORD_PTR context = 0;
};

DWORD OpenHttpUrl(const std::shared_ptr<SessionHandle> &session, const OpenUrlParams &params,
                  std::shared_ptr<Handle> &file);
DWORD OpenGopherUrl(const std::shared_ptr<SessionHandle> &session, const OpenUrlParams &params,
                    std::shared_ptr<Handle> &file);
DWORD OpenFtpUrl(const std::shared_ptr<SessionHandle> &session, const OpenUrlParams &params,
                 std::shared_ptr<Handle> &file);
// What the options of a URL handle just opened tell about its request.
DWORD DescribeRequest(const SessionHandle &session, const OpenUrlParams &params, Handle &file);

// ---- the transfer engine ----

struct Timeouts {
    DWORD receive = 0;  // 0 and INFINITE: no limit
    DWORD send = 0;
};

// One libcurl transfer read in a pull model: the caller's buffer is filled
// straight from libcurl's write callback, and what does not fit waits in a
// small spill buffer; libcurl runs only while the caller waits for data, so
// the memory held stays small however large the resource.
class Transfer {
public:
    enum class Wait { Head, FirstByte };

    // multi: the URL handle's, which outlives the transfer; cancelled: set
    // when the handle is closed, to stop a wait.
    Transfer(CURLM *multi, const std::atomic<bool> *cancelled);
    Transfer(const Transfer &) = delete;
    Transfer &operator=(const Transfer &) = delete;
    ~Transfer();

    DWORD Init();
    CURL *Easy() const { return easy_; }
    // Follows redirects (for the head detection); set with CURLOPT_FOLLOWLOCATION.
    void FollowRedirects(bool follow) { follow_ = follow; }
    // Credentials are set, so a 401/407 head is answered by another request.
    void Authenticates(bool authenticates) { authenticates_ = authenticates; }
    // A response head (with its trailers) or, for FTP, the replies of one
    // request longer than limit bytes are an invalid server response. With
    // keepsAlive false, header lines do not count as activity: the head and
    // the trailers must come within the receive timeout.
    void LimitHead(std::size_t limit, bool keepsAlive)
    {
        headLimit_ = limit;
        headKeepsAlive_ = keepsAlive;
    }
    // The body comes through Deliver, as the bytes came from the server,
    // instead of through libcurl's write callback (which changes the line
    // ends of FTP text: a listing is always text to libcurl).
    void DeliverRaw() { raw_ = true; }
    void Deliver(const char *data, size_t length) { TakeBody(data, length); }
    // Redirects from https to http (and from http to https) are followed only
    // when allowed; else the transfer fails with WinINet's error for them.
    void AllowSchemeChanges(bool toHttp, bool toHttps)
    {
        allowToHttp_ = toHttp;
        allowToHttps_ = toHttps;
    }
    // A proxy this transfer may use: with a hosts file, its name is looked
    // up there. ERROR_INTERNET_NAME_NOT_RESOLVED for a name the file does
    // not list, when the proxy is `certain` to be used.
    DWORD KnowProxy(const std::string &proxy, bool certain);
    // Whether names come from the per-user hosts file rather than the system.
    bool NamesFromFile() const { return hosts_ != nullptr; }
    // The request's own host from the hosts file, at most `limit` of its
    // addresses tried in the file's order.
    DWORD PinFromFile(const std::string &host, INTERNET_PORT port, std::size_t limit);
    // Keeps the server certificate of each response (as WinINet's text) while the connection is there.
    void KeepCertificate() { keepCertificate_ = true; }
    // Connects to host:port only at these addresses ("host:port:addr,addr"), in this order.
    DWORD PinAddresses(const std::string &entry);
    // The longest wait for the sockets before libcurl is asked again; FTP
    // needs it short, as libcurl at times leaves the connect of a passive
    // data connection to its next call without a timer to get there.
    void CapWait(int milliseconds) { waitCap_ = milliseconds; }

    // Starts the transfer and waits until the response head (or, for
    // protocols without one, the first byte or the end) has come.
    DWORD Start(Wait wait, const Timeouts &timeouts);
    // At most size bytes as they arrive; 0 bytes only at the end.
    DWORD Read(char *buffer, DWORD size, DWORD *got, const Timeouts &timeouts);
    // Runs the whole transfer, keeping at most keep bytes of the body.
    DWORD Run(const Timeouts &timeouts, std::size_t keep, std::string *body);

    long ResponseCode() const { return status_; }
    // The certificate of the connection the delivered response came on; empty without TLS.
    const std::string &Certificate() const { return certificate_; }
    const std::string &StatusLine() const { return statusLine_; }
    bool SawSetCookie() const { return sawSetCookie_; }
    std::string EffectiveUrl() const;

private:
    static size_t OnHeader(char *data, size_t size, size_t count, void *self);
    static size_t OnBody(char *data, size_t size, size_t count, void *self);
    static int OnProgress(void *self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static int OnResolverStart(void *, void *, void *self);
    size_t TakeHeader(const char *data, size_t length);
    size_t TakeBody(const char *data, size_t length);
    DWORD Pump(const std::function<bool()> &enough, const Timeouts &timeouts);
    DWORD CheckRedirect() const;
    DWORD Attach();
    void Collect();
    void Detach();
    DWORD Failure() const;

    CURL *easy_ = nullptr;
    CURLM *const multi_;
    std::shared_ptr<const HostsTable> hosts_;  // null: the system resolves names
    curl_slist *connectTo_ = nullptr;
    std::string pinnedName_;  // a listed name reached through pinned_ instead of connectTo_
    const std::atomic<bool> *const cancelled_;
    bool attached_ = false;
    bool busy_ = false;  // counted among the transfers under way
    bool follow_ = false;
    bool authenticates_ = false;
    bool raw_ = false;
    std::size_t headLimit_ = 0;
    bool headKeepsAlive_ = true;
    std::size_t headBytes_ = 0;
    bool allowToHttp_ = false;
    bool allowToHttps_ = false;
    bool keepCertificate_ = false;
    std::string certificate_;
    curl_slist *pinned_ = nullptr;
    int waitCap_ = 1000;

    // response head
    bool headDone_ = false;
    bool blockHasLocation_ = false;
    std::string blockLocation_;
    long blockStatus_ = 0;
    long status_ = 0;
    std::string statusLine_;
    bool sawSetCookie_ = false;

    // body delivery
    char *target_ = nullptr;
    std::size_t targetSize_ = 0;
    std::size_t targetUsed_ = 0;
    std::vector<char> spill_;
    std::size_t spillPos_ = 0;
    bool paused_ = false;  // the write callback paused libcurl: the spill was full
    bool keeping_ = false;
    std::size_t keepLimit_ = 0;
    std::string kept_;

    // progress
    bool done_ = false;
    CURLcode result_ = CURLE_OK;
    DWORD callbackError_ = ERROR_SUCCESS;
    DWORD failed_ = ERROR_SUCCESS;
    char errorText_[CURL_ERROR_SIZE] = {};
    bool connected_ = false;
    bool uploading_ = false;
    curl_off_t lastUp_ = 0;
    curl_off_t lastDown_ = 0;
    std::chrono::steady_clock::time_point lastActivity_;
};

// A handle made by InternetOpenUrlA: one resource, read as a stream.
class UrlFile : public Handle {
public:
    UrlFile(DWORD type, const std::shared_ptr<SessionHandle> &session, OpenUrlParams params);
    ~UrlFile() override;
    bool Readable() const override { return true; }
    DWORD Read(void *buffer, DWORD size, DWORD *got) override;
    DWORD QueryOwnOption(DWORD option, void *buffer, DWORD *length) override;
    void OnClose() override;
    const OpenUrlParams &Params() const { return params_; }
    // The certificate the delivered response came with (https); empty otherwise.
    const std::string &Certificate() const { return certificate_; }

protected:
    // The protocol's part of setting up a transfer of this URL.
    virtual DWORD Prepare(Transfer &transfer, const Options &options) = 0;
    // Makes the handle's libcurl multi handle (from the session's pool when the
    // flags ask for reuse) and starts the first transfer.
    DWORD Open(Transfer::Wait wait);
    DWORD NewTransfer(std::unique_ptr<Transfer> &transfer);

    const OpenUrlParams params_;
    std::mutex io_;  // one call at a time on the libcurl handles below
    std::unique_ptr<Transfer> transfer_;
    std::string effectiveUrl_;  // set before the handle is registered
    std::string certificate_;   // likewise

private:
    const std::shared_ptr<ConnectionPool> pool_;
    CURLM *multi_ = nullptr;
};

// Whether a text can go into a request line or header: no CR, LF or zero
// byte, which would end the line and start another.
bool FitsInHeader(std::string_view text);

// Settings every request shares: agent, timeouts, proxy, cookies, libcurl's
// behaviour as WinINet's (no signals, no progress meter).
DWORD ConfigureRequest(Transfer &transfer, const Options &options, const Url &url, DWORD flags, bool useCookies);
Timeouts TimeoutsOf(const Options &options);
// The read and write buffer sizes, within what libcurl takes.
void ConfigureBuffers(CURL *easy, const Options &options);
// INTERNET_OPTION_CONNECT_RETRIES: at most this many of a host name's addresses are tried.
DWORD LimitAddresses(Transfer &transfer, const std::string &host, INTERNET_PORT port, DWORD retries);

// ---- TLS ----

struct TlsPolicy {
    bool checkName = true;
    bool checkDates = true;
};
// Certificate checks for an https request: on by default, relaxed by the
// INTERNET_FLAG_IGNORE_CERT_* flags; trusts the per-user root store besides the system's.
DWORD ConfigureTls(CURL *easy, const TlsPolicy &policy);
// <userdir>/certificates/root.pem
std::string UserRootStore();
// The certificate of the TLS connection a transfer is on, as WinINet's text
// block; empty when the connection has no TLS.
std::string CertificateText(CURL *easy);

// ---- cookies ----

// The process-wide cookie store, loaded on first use from the per-user folder.
CURLSH *CookieShare();
// Writes the persistent cookies to the per-user folder when they changed.
void PersistCookies();
// Forgets the session cookies (INTERNET_OPTION_END_BROWSER_SESSION).
void EndCookieSession();

// A handle URL option (34) and other string options: WinINet's sizing rules.
DWORD CopyStringOption(const std::string &value, void *buffer, DWORD *length);

}  // namespace wininet

#endif  // PLATFORM_WININET_INTERNAL_H
