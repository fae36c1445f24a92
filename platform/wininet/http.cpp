// HTTP and HTTPS: connections, and the request handles of InternetOpenUrlA,
// which read the resource and write it with PUT.
#include "internal.h"

#include <cstring>

namespace wininet {

namespace {

// What a refused upload's reply keeps of the body: a short text a caller can show.
constexpr std::size_t kReplyBodyKeep = 512;
// The longest response head, trailers included, taken from a server.
constexpr std::size_t kHeadLimit = 256 * 1024;

class HttpConnection : public ConnectionHandle {
public:
    HttpConnection(const std::shared_ptr<SessionHandle> &session, const ConnectParams &params)
        : ConnectionHandle(INTERNET_HANDLE_TYPE_CONNECT_HTTP, session, params)
    {
    }
};

bool IsTokenChar(char c)
{
    if (c <= 32 || c >= 127)
        return false;
    return !std::strchr("()<>@,;:\\\"/[]?={}", c);
}

struct HeaderList {
    curl_slist *list = nullptr;
    HeaderList() = default;
    HeaderList(const HeaderList &) = delete;
    HeaderList &operator=(const HeaderList &) = delete;
    ~HeaderList() { curl_slist_free_all(list); }
    DWORD Add(const std::string &line)
    {
        curl_slist *grown = curl_slist_append(list, line.c_str());
        if (!grown)
            return ERROR_NOT_ENOUGH_MEMORY;
        list = grown;
        return ERROR_SUCCESS;
    }
};

// The caller's headers, CRLF (or LF) separated, each "Name: value".
DWORD ParseHeaders(const std::string &text, HeaderList &out, bool &hasPragma, bool &hasCacheControl)
{
    // More than a server takes, and more than libcurl would send.
    if (text.size() > kHeadLimit)
        return ERROR_HTTP_INVALID_HEADER;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        std::size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            return ERROR_HTTP_INVALID_HEADER;
        for (std::size_t i = 0; i < colon; ++i) {
            if (!IsTokenChar(line[i]))
                return ERROR_HTTP_INVALID_HEADER;
        }
        for (char c : line) {
            if (c == '\r' || c == '\0')
                return ERROR_HTTP_INVALID_HEADER;
        }
        std::string_view name(line.data(), colon);
        hasPragma = hasPragma || EqualsNoCase(name, "pragma");
        hasCacheControl = hasCacheControl || EqualsNoCase(name, "cache-control");
        std::size_t value = line.find_first_not_of(" \t", colon + 1);
        if (value == std::string::npos) {
            // libcurl drops "Name:" (it would remove its own header); "Name;" sends it empty.
            line = std::string(name) + ";";
        }
        if (DWORD err = out.Add(line))
            return err;
    }
    return ERROR_SUCCESS;
}

// The reply of a refused upload, as InternetGetLastResponseInfoA gives it:
// the status line, and the body when it is a short plain text.
std::string ReplyText(const std::string &statusLine, const std::string &body)
{
    std::string text = statusLine;
    std::string shown = body;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r' || shown.back() == ' '))
        shown.pop_back();
    bool plain = !shown.empty() && shown.size() < kReplyBodyKeep && shown.front() != '<';
    for (char c : shown) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 32 && c != '\r' && c != '\n' && c != '\t')
            plain = false;
    }
    if (plain)
        text += "\r\n" + shown;
    return text;
}

struct Upload {
    const std::string *data = nullptr;
    std::size_t pos = 0;

    static size_t Read(char *buffer, size_t size, size_t count, void *self)
    {
        Upload *u = static_cast<Upload *>(self);
        std::size_t n = std::min(size * count, u->data->size() - u->pos);
        std::memcpy(buffer, u->data->data() + u->pos, n);
        u->pos += n;
        return n;
    }

    static int Seek(void *self, curl_off_t offset, int origin)
    {
        Upload *u = static_cast<Upload *>(self);
        if (origin != SEEK_SET || offset < 0 || static_cast<std::size_t>(offset) > u->data->size())
            return CURL_SEEKFUNC_CANTSEEK;
        u->pos = static_cast<std::size_t>(offset);
        return CURL_SEEKFUNC_OK;
    }
};

class HttpRequest : public UrlFile {
public:
    HttpRequest(const std::shared_ptr<SessionHandle> &session, OpenUrlParams params)
        : UrlFile(INTERNET_HANDLE_TYPE_HTTP_REQUEST, session, std::move(params))
    {
    }

    DWORD Begin()
    {
        bool hasPragma = false, hasCacheControl = false;
        if (DWORD err = ParseHeaders(params_.headers, headers_, hasPragma, hasCacheControl))
            return err;
        if (params_.flags & (INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE)) {
            if (!hasPragma) {
                if (DWORD err = headers_.Add("Pragma: no-cache"))
                    return err;
            }
            if (!hasCacheControl) {
                if (DWORD err = headers_.Add("Cache-Control: no-cache"))
                    return err;
            }
        }
        return Open(Transfer::Wait::Head);
    }

    bool Writable() const override { return true; }

    // A PUT of everything written on this handle so far: a later write
    // extends the resource, as writes to an FTP file do.
    DWORD Write(const void *buffer, DWORD size, DWORD *written) override
    {
        std::lock_guard<std::mutex> hold(io_);
        // The download this handle was opened with makes way for the upload.
        transfer_.reset();
        std::size_t before = uploaded_.size();
        uploaded_.append(static_cast<const char *>(buffer), size);
        DWORD err = Put();
        if (err) {
            // Not taken: a later write does not send it either.
            uploaded_.resize(before);
            return err;
        }
        *written = size;
        return ERROR_SUCCESS;
    }

protected:
    DWORD Prepare(Transfer &transfer, const Options &options) override
    {
        const Url &url = params_.url;
        DWORD flags = params_.flags;
        if (DWORD err = ConfigureRequest(transfer, options, url, flags, !(flags & INTERNET_FLAG_NO_COOKIES)))
            return err;
        CURL *easy = transfer.Easy();
        HTTP_VERSION_INFO version = HttpVersion();
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION,
                         version.dwMinorVersion == 0 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
        if (headers_.list)
            curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers_.list);
        bool follow = !(flags & INTERNET_FLAG_NO_AUTO_REDIRECT);
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 30L);
        transfer.FollowRedirects(follow);
        transfer.LimitHead(kHeadLimit, false);
        transfer.AllowSchemeChanges(flags & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP,
                                    flags & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS);
        transfer.KeepCertificate();

        // Credentials from the URL, else from the handle's options; none at all with NO_AUTH.
        if (!FitsInHeader(options.userName) || !FitsInHeader(options.password))
            return ERROR_HTTP_INVALID_HEADER;
        bool credentials = false;
        if (!(flags & INTERNET_FLAG_NO_AUTH)) {
            if (!url.user.empty()) {
                credentials = true;
            } else if (!options.userName.empty()) {
                curl_easy_setopt(easy, CURLOPT_USERNAME, options.userName.c_str());
                curl_easy_setopt(easy, CURLOPT_PASSWORD, options.password.c_str());
                credentials = true;
            }
        }
        if (credentials)
            curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
        transfer.Authenticates(credentials);

        // Also for http: a redirect may lead to https.
        TlsPolicy policy;
        policy.checkName = !(flags & INTERNET_FLAG_IGNORE_CERT_CN_INVALID);
        policy.checkDates = !(flags & INTERNET_FLAG_IGNORE_CERT_DATE_INVALID);
        return ConfigureTls(easy, policy);
    }

private:
    DWORD Put()
    {
        std::unique_ptr<Transfer> put;
        if (DWORD err = NewTransfer(put))
            return err;
        CURL *easy = put->Easy();
        Upload upload;
        upload.data = &uploaded_;
        curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, &Upload::Read);
        curl_easy_setopt(easy, CURLOPT_READDATA, &upload);
        curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &Upload::Seek);
        curl_easy_setopt(easy, CURLOPT_SEEKDATA, &upload);
        curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(uploaded_.size()));
        std::string body;
        DWORD err = put->Run(TimeoutsOf(Settings()), kReplyBodyKeep, &body);
        if (put->SawSetCookie())
            PersistCookies();
        if (err)
            return err;
        long status = put->ResponseCode();
        SetLastResponse(static_cast<DWORD>(status), ReplyText(put->StatusLine(), body));
        // Only a 2xx answer says the server took the data.
        if (status / 100 != 2)
            return ERROR_INTERNET_EXTENDED_ERROR;
        return ERROR_SUCCESS;
    }

    HeaderList headers_;
    std::string uploaded_;
};

}  // namespace

DWORD ConnectHttp(const std::shared_ptr<SessionHandle> &session, const ConnectParams &params,
                  std::shared_ptr<Handle> &connection)
{
    connection = std::make_shared<HttpConnection>(session, params);
    return ERROR_SUCCESS;
}

DWORD OpenHttpUrl(const std::shared_ptr<SessionHandle> &session, const OpenUrlParams &params,
                  std::shared_ptr<Handle> &file)
{
    OpenUrlParams p = params;
    if ((p.flags & INTERNET_FLAG_SECURE) && p.url.scheme == Scheme::Http) {
        if (DWORD err = WithScheme(params.url, Scheme::Https, p.url))
            return err;
    }
    if ((p.flags & INTERNET_FLAG_NO_AUTH) && (!p.url.user.empty() || !p.url.password.empty())) {
        Url bare;
        if (DWORD err = WithoutCredentials(p.url, bare))
            return err;
        p.url = std::move(bare);
    }
    auto request = std::make_shared<HttpRequest>(session, std::move(p));
    if (DWORD err = request->Begin())
        return err;
    file = request;
    return ERROR_SUCCESS;
}

}  // namespace wininet
