// URLs: parsing as InternetOpenUrlA takes them, the URL handle every
// protocol's file handle is made of, and InternetOpenUrlA itself.
#include "internal.h"

#include <cstring>

namespace wininet {

namespace {

struct UrlDeleter {
    void operator()(CURLU *u) const { curl_url_cleanup(u); }
};
using UrlPtr = std::unique_ptr<CURLU, UrlDeleter>;

struct CurlString {
    char *text = nullptr;
    ~CurlString() { curl_free(text); }
};

bool IsSchemeChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
           c == '.';
}

DWORD FromUrlCode(CURLUcode code)
{
    return code == CURLUE_OUT_OF_MEMORY ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INTERNET_INVALID_URL;
}

INTERNET_PORT DefaultPort(Scheme scheme)
{
    switch (scheme) {
    case Scheme::Http:
        return INTERNET_DEFAULT_HTTP_PORT;
    case Scheme::Https:
        return INTERNET_DEFAULT_HTTPS_PORT;
    case Scheme::Gopher:
        return INTERNET_DEFAULT_GOPHER_PORT;
    case Scheme::Ftp:
        return INTERNET_DEFAULT_FTP_PORT;
    }
    return 0;
}

DWORD Part(CURLU *u, CURLUPart part, std::string &out, unsigned flags = 0)
{
    CurlString s;
    CURLUcode rc = curl_url_get(u, part, &s.text, flags);
    if (rc == CURLUE_OUT_OF_MEMORY)
        return ERROR_NOT_ENOUGH_MEMORY;
    out = rc == CURLUE_OK && s.text ? s.text : "";
    return ERROR_SUCCESS;
}

// Rebuilds a Url from a libcurl URL object after a change.
DWORD Reparse(CURLU *u, Url &result)
{
    std::string text;
    if (DWORD err = Part(u, CURLUPART_URL, text))
        return err;
    return ParseUrl(text, result);
}

}  // namespace

std::string Unescape(const std::string &text)
{
    int length = 0;
    char *raw = curl_easy_unescape(nullptr, text.c_str(), static_cast<int>(text.size()), &length);
    if (!raw)
        throw std::bad_alloc();
    std::string out(raw, static_cast<std::size_t>(length));
    curl_free(raw);
    return out;
}

const char *SchemeName(Scheme scheme)
{
    switch (scheme) {
    case Scheme::Http:
        return "http";
    case Scheme::Https:
        return "https";
    case Scheme::Gopher:
        return "gopher";
    case Scheme::Ftp:
        return "ftp";
    }
    return "";
}

DWORD ParseUrl(std::string_view text, Url &url)
{
    std::size_t colon = 0;
    while (colon < text.size() && IsSchemeChar(text[colon]))
        ++colon;
    if (colon == 0 || colon == text.size() || text[colon] != ':' ||
        !((text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z')))
        return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    std::string scheme;
    for (std::size_t i = 0; i < colon; ++i)
        scheme += Lower(text[i]);
    Url result;
    if (scheme == "http")
        result.scheme = Scheme::Http;
    else if (scheme == "https")
        result.scheme = Scheme::Https;
    else if (scheme == "gopher")
        result.scheme = Scheme::Gopher;
    else if (scheme == "ftp")
        result.scheme = Scheme::Ftp;
    else
        return ERROR_INTERNET_UNRECOGNIZED_SCHEME;

    std::string_view rest = text.substr(colon + 1);
    if (rest.substr(0, 2) != "//" || rest.size() == 2 || rest[2] == '/' || rest[2] == '?' || rest[2] == '#')
        return ERROR_INTERNET_INVALID_URL;

    // WinINet escapes spaces and 8-bit characters itself; control characters
    // have no place in a URL (they would end up in the request line).
    static const char hex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(text.size() + 16);
    for (char c : text) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f)
            return ERROR_INTERNET_INVALID_URL;
        if (b == ' ' || b >= 0x80) {
            escaped += '%';
            escaped += hex[b >> 4];
            escaped += hex[b & 15];
        } else {
            escaped += c;
        }
    }

    UrlPtr u(curl_url());
    if (!u)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (CURLUcode rc = curl_url_set(u.get(), CURLUPART_URL, escaped.c_str(), 0))
        return FromUrlCode(rc);
    std::string host, port;
    if (DWORD err = Part(u.get(), CURLUPART_HOST, host))
        return err;
    if (host.empty())
        return ERROR_INTERNET_INVALID_URL;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (DWORD err = Part(u.get(), CURLUPART_PORT, port))
        return err;
    if (!port.empty()) {
        unsigned long value = std::strtoul(port.c_str(), nullptr, 10);
        if (value == 0 || value > 65535)
            return ERROR_INTERNET_INVALID_URL;
        result.port = static_cast<INTERNET_PORT>(value);
        result.explicitPort = true;
    } else {
        result.port = DefaultPort(result.scheme);
    }
    result.host = host;
    if (DWORD err = Part(u.get(), CURLUPART_USER, result.user))
        return err;
    if (DWORD err = Part(u.get(), CURLUPART_PASSWORD, result.password))
        return err;
    if (DWORD err = Part(u.get(), CURLUPART_PATH, result.path))
        return err;
    if (result.path.empty())
        result.path = "/";
    if (DWORD err = Part(u.get(), CURLUPART_URL, result.text))
        return err;
    url = std::move(result);
    return ERROR_SUCCESS;
}

DWORD WithScheme(const Url &url, Scheme scheme, Url &result)
{
    UrlPtr u(curl_url());
    if (!u)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (CURLUcode rc = curl_url_set(u.get(), CURLUPART_URL, url.text.c_str(), 0))
        return FromUrlCode(rc);
    if (CURLUcode rc = curl_url_set(u.get(), CURLUPART_SCHEME, SchemeName(scheme), 0))
        return FromUrlCode(rc);
    if (!url.explicitPort)
        curl_url_set(u.get(), CURLUPART_PORT, nullptr, 0);
    return Reparse(u.get(), result);
}

DWORD WithoutCredentials(const Url &url, Url &result)
{
    UrlPtr u(curl_url());
    if (!u)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (CURLUcode rc = curl_url_set(u.get(), CURLUPART_URL, url.text.c_str(), 0))
        return FromUrlCode(rc);
    curl_url_set(u.get(), CURLUPART_USER, nullptr, 0);
    curl_url_set(u.get(), CURLUPART_PASSWORD, nullptr, 0);
    return Reparse(u.get(), result);
}

// ---- the URL handle ----

UrlFile::UrlFile(DWORD type, const std::shared_ptr<SessionHandle> &session, OpenUrlParams params)
    : Handle(type, session, params.context),
      params_(std::move(params)),
      pool_(params_.flags & (INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_EXISTING_CONNECT) ? session->Pool()
                                                                                              : nullptr)
{
}

UrlFile::~UrlFile()
{
    // The transfer leaves the multi handle before that goes back to the pool.
    transfer_.reset();
    if (multi_) {
        if (pool_)
            pool_->Give(multi_);
        else
            curl_multi_cleanup(multi_);
    }
}

DWORD UrlFile::NewTransfer(std::unique_ptr<Transfer> &transfer)
{
    if (!multi_) {
        multi_ = pool_ ? pool_->Take() : nullptr;
        if (!multi_)
            multi_ = curl_multi_init();
        if (!multi_)
            return ERROR_NOT_ENOUGH_MEMORY;
    }
    auto t = std::make_unique<Transfer>(multi_, &ClosedFlag());
    if (DWORD err = t->Init())
        return err;
    if (DWORD err = Prepare(*t, Settings()))
        return err;
    transfer = std::move(t);
    return ERROR_SUCCESS;
}

DWORD UrlFile::Open(Transfer::Wait wait)
{
    std::lock_guard<std::mutex> hold(io_);
    std::unique_ptr<Transfer> t;
    if (DWORD err = NewTransfer(t))
        return err;
    DWORD err = t->Start(wait, TimeoutsOf(Settings()));
    if (t->SawSetCookie())
        PersistCookies();
    if (err)
        return err;
    effectiveUrl_ = t->EffectiveUrl();
    if (effectiveUrl_.empty())
        effectiveUrl_ = params_.url.text;
    certificate_ = t->Certificate();
    transfer_ = std::move(t);
    return ERROR_SUCCESS;
}

DWORD UrlFile::Read(void *buffer, DWORD size, DWORD *got)
{
    std::lock_guard<std::mutex> hold(io_);
    if (!transfer_)
        return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    DWORD err = transfer_->Read(static_cast<char *>(buffer), size, got, TimeoutsOf(Settings()));
    return err;
}

DWORD UrlFile::QueryOwnOption(DWORD option, void *buffer, DWORD *length)
{
    if (option == INTERNET_OPTION_URL)
        return CopyStringOption(effectiveUrl_, buffer, length);
    return ERROR_INTERNET_INVALID_OPTION;
}

void UrlFile::OnClose()
{
    // A read waiting in another thread sees the closed flag once woken.
    if (multi_)
        curl_multi_wakeup(multi_);
}

DWORD DescribeRequest(const SessionHandle &session, const OpenUrlParams &params, Handle &file)
{
    Handle::Request request;
    // Nothing goes into a cache here.
    request.flags = INTERNET_REQFLAG_CACHE_WRITE_DISABLED;
    if (session.Flags() & INTERNET_FLAG_ASYNC)
        request.flags |= INTERNET_REQFLAG_ASYNC;
    if (params.url.scheme == Scheme::Ftp) {
        if (params.flags & INTERNET_FLAG_PASSIVE)
            request.flags |= INTERNET_REQFLAG_PASSIVE;
    } else if (GoesThroughProxy(file.Settings(), params.url)) {
        request.flags |= INTERNET_REQFLAG_VIA_PROXY;
    }
    if (const UrlFile *url = dynamic_cast<const UrlFile *>(&file))
        request.certificate = url->Certificate();
    if (params.flags & INTERNET_FLAG_NEED_FILE) {
        if (DWORD err = DataFile::Create(params.url.path, request.dataFile))
            return err;
    }
    file.Describe(std::move(request));
    return ERROR_SUCCESS;
}

}  // namespace wininet

using namespace wininet;

HINTERNET WINAPI InternetOpenUrlA(HINTERNET session, LPCSTR url, LPCSTR headers, DWORD headersLength, DWORD flags,
                                  DWORD_PTR context)
{
    HINTERNET value = nullptr;
    DWORD err = Guard([&]() -> DWORD {
        std::shared_ptr<SessionHandle> s;
        if (DWORD e = FindHandleOf(session, s))
            return e;
        if (!url)
            return ERROR_INVALID_PARAMETER;
        OpenUrlParams params;
        if (DWORD e = ParseUrl(url, params.url))
            return e;
        if (headers) {
            // With a length the headers are that many bytes: a zero byte inside
            // them is refused with the line it is in, never taken for their end.
            // Zero bytes at the very end are a terminator counted in.
            std::size_t length = headersLength == static_cast<DWORD>(-1) ? std::strlen(headers) : headersLength;
            while (length > 0 && headers[length - 1] == '\0')
                --length;
            params.headers.assign(headers, length);
        }
        params.flags = flags;
        params.context = context;
        // Offline means from the cache only, and this WinINet keeps none.
        if (((s->Flags() | flags) & INTERNET_FLAG_FROM_CACHE) || OfflineMode())
            return ERROR_FILE_NOT_FOUND;
        if (DWORD e = InitCurl())
            return e;
        std::shared_ptr<Handle> file;
        DWORD e = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
        switch (params.url.scheme) {
        case Scheme::Http:
        case Scheme::Https:
            e = OpenHttpUrl(s, params, file);
            break;
        case Scheme::Gopher:
            e = OpenGopherUrl(s, params, file);
            break;
        case Scheme::Ftp:
            e = OpenFtpUrl(s, params, file);
            break;
        }
        if (e)
            return e;
        if ((e = DescribeRequest(*s, params, *file)))
            return e;
        return RegisterHandle(file, &value);
    });
    if (err) {
        SetLastError(err);
        return nullptr;
    }
    return value;
}
