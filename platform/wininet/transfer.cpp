// The transfer engine: one libcurl easy handle driven through the URL
// handle's multi handle, in a pull model. libcurl runs only while a caller
// waits for data; the write callback fills the caller's buffer directly and
// keeps only what does not fit, so memory stays small for any resource size.
#include "internal.h"

#include <platform/synchronous_io.h>
#include <platform/wininet_stats.h>

#include <algorithm>
#include <cstring>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <sys/socket.h>

namespace wininet {

namespace {

using Clock = std::chrono::steady_clock;

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i], b = prefix[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

bool Limited(DWORD timeout) { return timeout != 0 && timeout != INFINITE; }

// A wait of the calling thread that CancelSynchronousIo from another thread
// ends, as a caller of WinINet would end a blocking call (on Ctrl-C, say).
class CancelPoint {
public:
    CancelPoint() : fd_(platform::BeginSynchronousIo()) {}
    CancelPoint(const CancelPoint &) = delete;
    CancelPoint &operator=(const CancelPoint &) = delete;
    ~CancelPoint() { platform::EndSynchronousIo(); }
    bool Cancelled() const { return platform::SynchronousIoCancelled(); }
    // What curl_multi_poll watches besides the transfer's sockets.
    curl_waitfd *Extra() { return fd_ >= 0 ? &extra_ : nullptr; }
    unsigned Count() const { return fd_ >= 0 ? 1 : 0; }

private:
    int fd_;
    curl_waitfd extra_{fd_, CURL_WAIT_POLLIN, 0};
};

// The shorter of two timeouts, where 0 and INFINITE mean none.
DWORD Shorter(DWORD a, DWORD b)
{
    if (!Limited(a))
        return b;
    if (!Limited(b))
        return a;
    return a < b ? a : b;
}

// libcurl's bounds for its receive and upload buffers. The small sizes
// WinINet's options default to would cost a system call per few KiB, so the
// buffers are never smaller than the floors.
constexpr DWORD kReadBufferMin = 256 * 1024, kReadBufferMax = 512 * 1024;
constexpr DWORD kWriteBufferMin = 512 * 1024, kWriteBufferMax = 2 * 1024 * 1024;

// What the spill holds for a reader before libcurl is paused: one receive
// buffer, so that memory stays bounded whatever the reader's pace.
constexpr std::size_t kSpillLimit = kReadBufferMin;

// The largest spill any transfer has held, for the tests.
std::atomic<std::size_t> spillHighWater{0};

void NoteSpill(std::size_t bytes)
{
    std::size_t seen = spillHighWater.load(std::memory_order_relaxed);
    while (bytes > seen && !spillHighWater.compare_exchange_weak(seen, bytes, std::memory_order_relaxed)) {
    }
}

long Bounded(DWORD value, DWORD low, DWORD high) { return static_cast<long>(value < low ? low : value > high ? high : value); }

// Transfers attached to a multi handle and not yet done.
std::atomic<int> busyTransfers{0};

}  // namespace

bool TransfersBusy() { return busyTransfers.load() > 0; }

}  // namespace wininet

std::size_t platform::WininetSpillHighWater(bool reset)
{
    return reset ? wininet::spillHighWater.exchange(0) : wininet::spillHighWater.load();
}

namespace wininet {

DWORD InitCurl()
{
    static std::once_flag once;
    static CURLcode result = CURLE_FAILED_INIT;
    std::call_once(once, [] {
        // libcurl and the thirty-odd libraries it pulls in stay for the life
        // of the process, as system libraries do: unmapping them when the
        // last user lets go of this module costs more than keeping them, and
        // libcurl is never told to clean up anyway.
        Dl_info self;
        if (dladdr(reinterpret_cast<void *>(&curl_global_init), &self) && self.dli_fname)
            dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        result = curl_global_init(CURL_GLOBAL_DEFAULT);
    });
    return result == CURLE_OK ? ERROR_SUCCESS : ERROR_INTERNET_INTERNAL_ERROR;
}

Timeouts TimeoutsOf(const Options &options)
{
    // The data goes quiet: the shorter of the handle's receive (send) timeout
    // and its data receive (send) timeout ends the wait.
    Timeouts t;
    t.receive = Shorter(options.receiveTimeout, options.dataReceiveTimeout);
    t.send = Shorter(options.sendTimeout, options.dataSendTimeout);
    return t;
}

Transfer::Transfer(CURLM *multi, const std::atomic<bool> *cancelled) : multi_(multi), cancelled_(cancelled) {}

Transfer::~Transfer()
{
    Detach();
    if (easy_)
        curl_easy_cleanup(easy_);
    curl_slist_free_all(connectTo_);
    curl_slist_free_all(pinned_);
}

DWORD Transfer::PinAddresses(const std::string &entry)
{
    curl_slist *list = curl_slist_append(pinned_, entry.c_str());
    if (!list)
        return ERROR_NOT_ENOUGH_MEMORY;
    pinned_ = list;
    curl_easy_setopt(easy_, CURLOPT_RESOLVE, pinned_);
    return ERROR_SUCCESS;
}

DWORD Transfer::Init()
{
    easy_ = curl_easy_init();
    if (!easy_)
        return ERROR_NOT_ENOUGH_MEMORY;
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
    curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errorText_);
    hosts_ = LoadHostsTable();
    if (hosts_) {
        connectTo_ = hosts_->ConnectTo();
        curl_easy_setopt(easy_, CURLOPT_CONNECT_TO, connectTo_);
        curl_easy_setopt(easy_, CURLOPT_RESOLVER_START_FUNCTION, &Transfer::OnResolverStart);
        curl_easy_setopt(easy_, CURLOPT_RESOLVER_START_DATA, this);
    }
    return ERROR_SUCCESS;
}

DWORD Transfer::KnowProxy(const std::string &proxy, bool certain)
{
    if (!hosts_)
        return ERROR_SUCCESS;
    std::optional<std::string> entry = hosts_->ResolveEntry(proxy);
    if (!entry)
        return certain ? ERROR_INTERNET_NAME_NOT_RESOLVED : ERROR_SUCCESS;
    if (entry->empty())
        return ERROR_SUCCESS;
    return PinAddresses(*entry);
}

DWORD Transfer::PinFromFile(const std::string &host, INTERNET_PORT port, std::size_t limit)
{
    const std::vector<std::string> *all = hosts_->AddressesOf(host);
    if (!all || all->size() < 2)
        return ERROR_SUCCESS;  // an address, an unknown name, or one address: CONNECT_TO has it
    // Several addresses: this host:port gets them from the DNS cache, in order.
    curl_slist *list = hosts_->ConnectTo(host);
    curl_slist_free_all(connectTo_);
    connectTo_ = list;
    curl_easy_setopt(easy_, CURLOPT_CONNECT_TO, connectTo_);
    pinnedName_ = host;
    return PinAddresses(hosts_->PinEntry(host, port, limit));
}

// libcurl is about to look a name up that the hosts file gave it no address
// for (listed names and proxies reach it as addresses). The connection's
// host decides: an address, or a listed name that reaches here as its
// address, goes on; any other name is not resolved.
int Transfer::OnResolverStart(void *, void *, void *self)
{
    Transfer *t = static_cast<Transfer *>(self);
    Url target;
    char *effective = nullptr;
    // A pinned name got here at a port it was not pinned for (a redirect):
    // libcurl would ask the system for it.
    if (curl_easy_getinfo(t->easy_, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective &&
        ParseUrl(effective, target) == ERROR_SUCCESS && t->hosts_->Knows(target.host) &&
        !(!t->pinnedName_.empty() && SameName(target.host, t->pinnedName_)))
        return 0;
    t->callbackError_ = ERROR_INTERNET_NAME_NOT_RESOLVED;
    return 1;
}

DWORD Transfer::Attach()
{
    lastActivity_ = Clock::now();
    CURLMcode mc = curl_multi_add_handle(multi_, easy_);
    if (mc == CURLM_OUT_OF_MEMORY)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (mc != CURLM_OK)
        return ERROR_INTERNET_INTERNAL_ERROR;
    attached_ = true;
    busy_ = true;
    ++busyTransfers;
    return ERROR_SUCCESS;
}

void Transfer::Detach()
{
    if (busy_) {
        busy_ = false;
        --busyTransfers;
    }
    if (attached_) {
        curl_multi_remove_handle(multi_, easy_);
        attached_ = false;
    }
}

DWORD Transfer::Failure() const
{
    if (callbackError_)
        return callbackError_;
    // libcurl's own bound on what a server may send as headers or replies
    // (a line too long to wait for) comes as a receive error, told by its text.
    if (result_ == CURLE_RECV_ERROR && std::strstr(errorText_, "Too large response headers"))
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    return FromCurl(result_, easy_);
}

std::string Transfer::EffectiveUrl() const
{
    char *url = nullptr;
    if (easy_ && curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url)
        return url;
    return std::string();
}

size_t Transfer::OnHeader(char *data, size_t size, size_t count, void *self)
{
    return static_cast<Transfer *>(self)->TakeHeader(data, size * count);
}

size_t Transfer::OnBody(char *data, size_t size, size_t count, void *self)
{
    Transfer *t = static_cast<Transfer *>(self);
    if (t->raw_)
        return t->callbackError_ ? 0 : size * count;  // taken already, through Deliver
    // The reader has a receive buffer's worth waiting: libcurl keeps the rest
    // (one buffer at most) and stops reading the socket until it is asked again.
    if (!t->keeping_ && t->spill_.size() - t->spillPos_ >= kSpillLimit) {
        t->paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    return t->TakeBody(data, size * count);
}

int Transfer::OnProgress(void *self, curl_off_t, curl_off_t dlnow, curl_off_t ultotal, curl_off_t ulnow)
{
    Transfer *t = static_cast<Transfer *>(self);
    if (dlnow != t->lastDown_ || ulnow != t->lastUp_) {
        t->lastDown_ = dlnow;
        t->lastUp_ = ulnow;
        t->lastActivity_ = Clock::now();
    }
    t->uploading_ = ultotal > 0 && ulnow < ultotal;
    return t->cancelled_ && t->cancelled_->load() ? 1 : 0;
}

size_t Transfer::TakeHeader(const char *data, size_t length)
{
    if (headKeepsAlive_)
        lastActivity_ = Clock::now();
    std::string_view line(data, length);
    try {
        // Each response of a redirect chain has its own allowance; its trailers share it.
        bool status = line.substr(0, 5) == "HTTP/";
        headBytes_ = status ? length : headBytes_ + length;
        if (headLimit_ && headBytes_ > headLimit_) {
            callbackError_ = ERROR_HTTP_INVALID_SERVER_RESPONSE;
            return 0;
        }
        if (status) {
            // A new response: an interim one, a redirect, or the one delivered.
            // Its connection is there now, and with it the certificate.
            if (keepCertificate_)
                certificate_ = CertificateText(easy_);
            std::size_t end = line.find_first_of("\r\n");
            statusLine_.assign(line.substr(0, end));
            blockStatus_ = 0;
            std::size_t sp = statusLine_.find(' ');
            if (sp != std::string::npos)
                blockStatus_ = std::strtol(statusLine_.c_str() + sp + 1, nullptr, 10);
            blockHasLocation_ = false;
            blockLocation_.clear();
        } else if (line == "\r\n" || line == "\n") {
            bool interim = blockStatus_ / 100 == 1;
            bool redirect = follow_ && blockHasLocation_ &&
                            (blockStatus_ == 301 || blockStatus_ == 302 || blockStatus_ == 303 ||
                             blockStatus_ == 307 || blockStatus_ == 308);
            bool challenge = authenticates_ && (blockStatus_ == 401 || blockStatus_ == 407);
            if (!interim && !redirect && !challenge) {
                headDone_ = true;
                status_ = blockStatus_;
            }
            if (redirect) {
                if (DWORD err = CheckRedirect()) {
                    callbackError_ = err;
                    return 0;
                }
            }
        } else if (StartsWithNoCase(line, "location:")) {
            blockHasLocation_ = true;
            std::string_view value = line.substr(9);
            std::size_t first = value.find_first_not_of(" \t");
            std::size_t last = value.find_last_not_of(" \t\r\n");
            blockLocation_.assign(first == std::string_view::npos ? std::string_view()
                                                                  : value.substr(first, last - first + 1));
        } else if (StartsWithNoCase(line, "set-cookie:")) {
            sawSetCookie_ = true;
        }
    } catch (const std::bad_alloc &) {
        callbackError_ = ERROR_NOT_ENOUGH_MEMORY;
        return 0;
    }
    return length;
}

size_t Transfer::TakeBody(const char *data, size_t length)
{
    lastActivity_ = Clock::now();
    headDone_ = true;
    try {
        if (keeping_) {
            std::size_t room = keepLimit_ - std::min(keepLimit_, kept_.size());
            kept_.append(data, std::min(room, length));
            return length;
        }
        std::size_t taken = 0;
        if (target_) {
            taken = std::min(length, targetSize_ - targetUsed_);
            std::memcpy(target_ + targetUsed_, data, taken);
            targetUsed_ += taken;
        }
        if (taken < length) {
            if (spillPos_ == spill_.size()) {
                spill_.clear();
                spillPos_ = 0;
            }
            // Room for all a pause lets through, once, so the spill never grows past it.
            if (spill_.capacity() < kSpillLimit + CURL_MAX_WRITE_SIZE)
                spill_.reserve(kSpillLimit + CURL_MAX_WRITE_SIZE);
            spill_.insert(spill_.end(), data + taken, data + length);
            NoteSpill(spill_.capacity());
        }
    } catch (const std::bad_alloc &) {
        callbackError_ = ERROR_NOT_ENOUGH_MEMORY;
        return 0;
    }
    return length;
}

DWORD Transfer::CheckRedirect() const
{
    // Where the redirect leads, taken relative to the request it answers.
    struct UrlDeleter {
        void operator()(CURLU *u) const { curl_url_cleanup(u); }
    };
    std::unique_ptr<CURLU, UrlDeleter> u(curl_url());
    if (!u)
        return ERROR_NOT_ENOUGH_MEMORY;
    std::string from = EffectiveUrl();
    if (curl_url_set(u.get(), CURLUPART_URL, from.c_str(), 0) != CURLUE_OK)
        return ERROR_SUCCESS;
    char *fromScheme = nullptr;
    char *toScheme = nullptr;
    curl_url_get(u.get(), CURLUPART_SCHEME, &fromScheme, 0);
    if (curl_url_set(u.get(), CURLUPART_URL, blockLocation_.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK)
        curl_url_get(u.get(), CURLUPART_SCHEME, &toScheme, 0);
    DWORD err = ERROR_SUCCESS;
    if (fromScheme && toScheme) {
        std::string_view a(fromScheme), b(toScheme);
        if (a == "https" && b == "http" && !allowToHttp_)
            err = ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR;
        else if (a == "http" && b == "https" && !allowToHttps_)
            err = ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR;
    }
    curl_free(fromScheme);
    curl_free(toScheme);
    return err;
}

void Transfer::Collect()
{
    int left = 0;
    while (CURLMsg *msg = curl_multi_info_read(multi_, &left)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy_) {
            done_ = true;
            if (busy_) {
                busy_ = false;
                --busyTransfers;
            }
            result_ = msg->data.result;
            long code = 0;
            if (curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK && code)
                status_ = code;
            if (result_ == CURLE_OK)
                headDone_ = true;
        }
    }
}

DWORD Transfer::Pump(const std::function<bool()> &enough, const Timeouts &timeouts)
{
    CancelPoint point;
    while (!enough() && !done_) {
        if ((cancelled_ && cancelled_->load()) || point.Cancelled())
            return ERROR_INTERNET_OPERATION_CANCELLED;
        int running = 0;
        CURLMcode mc = curl_multi_perform(multi_, &running);
        if (mc == CURLM_OUT_OF_MEMORY)
            return ERROR_NOT_ENOUGH_MEMORY;
        if (mc != CURLM_OK)
            return ERROR_INTERNET_INTERNAL_ERROR;
        Collect();
        if (enough() || done_)
            break;

        // libcurl watches the connect phase (CURLOPT_CONNECTTIMEOUT_MS); from
        // the sent request on, silence longer than the receive (or, while the
        // body goes up, the send) timeout ends the transfer.
        Clock::time_point now = Clock::now();
        if (!connected_) {
            curl_off_t pretransfer = 0;
            if (curl_easy_getinfo(easy_, CURLINFO_PRETRANSFER_TIME_T, &pretransfer) == CURLE_OK && pretransfer > 0) {
                connected_ = true;
                lastActivity_ = now;
            }
        }
        int wait = waitCap_;
        if (connected_) {
            DWORD limit = uploading_ ? timeouts.send : timeouts.receive;
            if (Limited(limit)) {
                auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastActivity_).count();
                if (idle >= static_cast<long long>(limit))
                    return ERROR_INTERNET_TIMEOUT;
                wait = static_cast<int>(std::min<long long>(wait, static_cast<long long>(limit) - idle));
            }
        }
        mc = curl_multi_poll(multi_, point.Extra(), point.Count(), wait, nullptr);
        if (mc == CURLM_OUT_OF_MEMORY)
            return ERROR_NOT_ENOUGH_MEMORY;
        if (mc != CURLM_OK)
            return ERROR_INTERNET_INTERNAL_ERROR;
    }
    return ERROR_SUCCESS;
}

DWORD Transfer::Start(Wait wait, const Timeouts &timeouts)
{
    if (DWORD err = Attach())
        return err;
    DWORD err = Pump([&] { return wait == Wait::Head ? headDone_ : headDone_ || spillPos_ < spill_.size(); },
                     timeouts);
    if (err) {
        failed_ = err;
        Detach();
        return err;
    }
    if (done_ && (result_ != CURLE_OK || callbackError_) && !headDone_) {
        failed_ = Failure();
        return failed_;
    }
    return ERROR_SUCCESS;
}

DWORD Transfer::Read(char *buffer, DWORD size, DWORD *got, const Timeouts &timeouts)
{
    *got = 0;
    if (failed_)
        return failed_;
    if (size == 0)
        return ERROR_SUCCESS;
    if (spillPos_ < spill_.size()) {
        std::size_t n = std::min<std::size_t>(size, spill_.size() - spillPos_);
        std::memcpy(buffer, spill_.data() + spillPos_, n);
        spillPos_ += n;
        *got = static_cast<DWORD>(n);
        return ERROR_SUCCESS;
    }
    if (!done_) {
        target_ = buffer;
        targetSize_ = size;
        targetUsed_ = 0;
        if (paused_) {
            // What libcurl held back comes first, into the caller's buffer and the spill.
            paused_ = false;
            lastActivity_ = Clock::now();
            CURLcode resumed = curl_easy_pause(easy_, CURLPAUSE_CONT);
            if (resumed != CURLE_OK) {
                target_ = nullptr;
                failed_ = callbackError_                   ? callbackError_
                          : resumed == CURLE_OUT_OF_MEMORY ? ERROR_NOT_ENOUGH_MEMORY
                                                           : ERROR_INTERNET_INTERNAL_ERROR;
                Detach();
                return failed_;
            }
        }
        DWORD err = Pump([&] { return targetUsed_ > 0 || spillPos_ < spill_.size(); }, timeouts);
        target_ = nullptr;
        if (targetUsed_ > 0) {
            *got = static_cast<DWORD>(targetUsed_);
            return ERROR_SUCCESS;
        }
        if (err) {
            failed_ = err;
            Detach();
            return err;
        }
        if (spillPos_ < spill_.size())
            return Read(buffer, size, got, timeouts);
    }
    // The end: clean, or the way the transfer broke off.
    if (result_ != CURLE_OK || callbackError_) {
        failed_ = Failure();
        return failed_;
    }
    return ERROR_SUCCESS;
}

DWORD Transfer::Run(const Timeouts &timeouts, std::size_t keep, std::string *body)
{
    keeping_ = true;
    keepLimit_ = keep;
    if (DWORD err = Attach())
        return err;
    DWORD err = Pump([] { return false; }, timeouts);
    if (err) {
        failed_ = err;
        Detach();
        return err;
    }
    if (result_ != CURLE_OK || callbackError_) {
        failed_ = Failure();
        return failed_;
    }
    if (body)
        *body = kept_;
    return ERROR_SUCCESS;
}

bool FitsInHeader(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// INTERNET_OPTION_CONNECT_RETRIES: the addresses of a host name are tried one
// after the other, at most this many of them (at least one).
DWORD LimitAddresses(Transfer &transfer, const std::string &host, INTERNET_PORT port, DWORD retries)
{
    std::size_t limit = std::max<DWORD>(retries, 1);
    if (transfer.NamesFromFile())
        return transfer.PinFromFile(host, port, limit);
    unsigned char literal[sizeof(struct in6_addr)];
    if (inet_pton(AF_INET, host.c_str(), literal) == 1 || inet_pton(AF_INET6, host.c_str(), literal) == 1)
        return ERROR_SUCCESS;
    struct addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo *found = nullptr;
    // A name that does not resolve is left to libcurl, which reports it.
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
        return ERROR_SUCCESS;
    std::vector<std::string> addresses;
    try {
        for (struct addrinfo *a = found; a; a = a->ai_next) {
            char text[INET6_ADDRSTRLEN];
            if (getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
                continue;
            std::string address = a->ai_family == AF_INET6 ? "[" + std::string(text) + "]" : std::string(text);
            if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
                addresses.push_back(address);
        }
    } catch (...) {
        freeaddrinfo(found);
        throw;
    }
    freeaddrinfo(found);
    if (addresses.size() <= limit)
        return ERROR_SUCCESS;
    std::string entry = host + ":" + std::to_string(port) + ":";
    for (std::size_t i = 0; i < limit; ++i)
        entry += (i ? "," : "") + addresses[i];
    return transfer.PinAddresses(entry);
}

void ConfigureBuffers(CURL *easy, const Options &options)
{
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, Bounded(options.readBufferSize, kReadBufferMin, kReadBufferMax));
    curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE,
                     Bounded(options.writeBufferSize, kWriteBufferMin, kWriteBufferMax));
}

DWORD ConfigureRequest(Transfer &transfer, const Options &options, const Url &url, DWORD flags, bool useCookies)
{
    // However the options were set, none of them may add a line to the request.
    if (!FitsInHeader(options.agent) || !FitsInHeader(options.proxyUserName) ||
        !FitsInHeader(options.proxyPassword))
        return ERROR_HTTP_INVALID_HEADER;
    CURL *easy = transfer.Easy();
    if (curl_easy_setopt(easy, CURLOPT_URL, url.text.c_str()) != CURLE_OK)
        return ERROR_NOT_ENOUGH_MEMORY;
    // An HTTP request may be redirected between http and https; nothing else follows.
    bool web = url.scheme == Scheme::Http || url.scheme == Scheme::Https;
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, web ? "http,https" : SchemeName(url.scheme));
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     Limited(options.connectTimeout) ? static_cast<long>(options.connectTimeout) : 0L);
    if (!options.agent.empty())
        curl_easy_setopt(easy, CURLOPT_USERAGENT, options.agent.c_str());
    ConfigureBuffers(easy, options);

    ProxySettings proxy = options.proxy;
    if (proxy.accessType == INTERNET_OPEN_TYPE_PRECONFIG ||
        proxy.accessType == INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY) {
        // What InternetSetOptionA(NULL, INTERNET_OPTION_PROXY) configured for the process, if anything.
        std::lock_guard<std::mutex> hold(HandleLock());
        const ProxySettings &process = ProcessOptions().proxy;
        if (process.accessType == INTERNET_OPEN_TYPE_DIRECT || process.accessType == INTERNET_OPEN_TYPE_PROXY)
            proxy = process;
    }
    ProxyChoice choice = ChooseProxy(proxy, url);
    if (!choice.useEnvironment) {
        curl_easy_setopt(easy, CURLOPT_PROXY, choice.proxy.c_str());
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
        if (DWORD err = transfer.KnowProxy(choice.proxy, true))
            return err;
    } else {
        // libcurl picks among them (and no_proxy may leave them all out).
        for (const std::string &environment : EnvironmentProxies())
            if (DWORD err = transfer.KnowProxy(environment, false))
                return err;
    }
    // Through a proxy, the proxy connects to the server.
    if (!GoesThroughProxy(options, url)) {
        if (DWORD err = LimitAddresses(transfer, url.host, url.port, options.connectRetries))
            return err;
    }
    if (!options.proxyUserName.empty())
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, options.proxyUserName.c_str());
    if (!options.proxyPassword.empty())
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, options.proxyPassword.c_str());
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);

    if (useCookies) {
        CURLSH *share = CookieShare();
        if (!share)
            return ERROR_NOT_ENOUGH_MEMORY;
        curl_easy_setopt(easy, CURLOPT_SHARE, share);
        // The share holds the store; this turns libcurl's cookie engine on for the request.
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    }

    bool reuse = flags & (INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_EXISTING_CONNECT);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, reuse ? 0L : 1L);
    return ERROR_SUCCESS;
}

}  // namespace wininet
