// The process-wide cookie store. libcurl's cookie engine holds it (a share
// handle every request joins), parses the responses' Set-Cookie and sends the
// cookies with requests. Written here is what libcurl has no call for:
// InternetSetCookie's cookie text turned into a store entry, the lookup for
// a URL that InternetGetCookie answers, and keeping only the persistent
// cookies in <userdir>/cookies.txt, so that session cookies end with the process.
#include "internal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace wininet {

namespace {

constexpr std::size_t kMaxCookie = 4096;

struct Cookie {
    std::string domain;  // without a leading dot
    bool tailMatch = false;
    std::string path;
    bool secure = false;
    bool httpOnly = false;
    long long expires = 0;  // 0: a session cookie
    std::string name;
    std::string value;
};

struct CookieStore {
    std::mutex lockFor[CURL_LOCK_DATA_LAST];
    std::mutex mutex;  // the store's own easy handle and the file
    CURLSH *share = nullptr;
    CURL *easy = nullptr;
    std::string file;  // empty: no per-user folder, cookies live in memory only
    bool bound = false;
    std::string written;
};

void LockShare(CURL *, curl_lock_data data, curl_lock_access, void *user)
{
    static_cast<CookieStore *>(user)->lockFor[data].lock();
}

void UnlockShare(CURL *, curl_lock_data data, void *user)
{
    static_cast<CookieStore *>(user)->lockFor[data].unlock();
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// A line of libcurl's cookie list (the Netscape cookie file format).
bool ParseLine(const std::string &line, Cookie &cookie)
{
    std::vector<std::string> fields;
    std::size_t pos = 0;
    while (fields.size() < 6) {
        std::size_t tab = line.find('\t', pos);
        if (tab == std::string::npos)
            return false;
        fields.push_back(line.substr(pos, tab - pos));
        pos = tab + 1;
    }
    std::string domain = fields[0];
    static const std::string httpOnly = "#HttpOnly_";
    if (domain.compare(0, httpOnly.size(), httpOnly) == 0) {
        cookie.httpOnly = true;
        domain.erase(0, httpOnly.size());
    } else if (!domain.empty() && domain[0] == '#') {
        return false;
    }
    while (!domain.empty() && domain[0] == '.')
        domain.erase(0, 1);
    cookie.domain = Lowered(domain);
    cookie.tailMatch = fields[1] == "TRUE";
    cookie.path = fields[2];
    cookie.secure = fields[3] == "TRUE";
    cookie.expires = std::strtoll(fields[4].c_str(), nullptr, 10);
    cookie.name = fields[5];
    cookie.value = line.substr(pos);
    return true;
}

std::string FormatLine(const Cookie &c)
{
    std::string line;
    if (c.httpOnly)
        line += "#HttpOnly_";
    if (c.tailMatch)
        line += '.';
    line += c.domain;
    line += c.tailMatch ? "\tTRUE\t" : "\tFALSE\t";
    line += c.path;
    line += c.secure ? "\tTRUE\t" : "\tFALSE\t";
    line += std::to_string(c.expires);
    line += '\t';
    line += c.name;
    line += '\t';
    line += c.value;
    return line;
}

CookieStore *OpenStore()
{
    if (InitCurl())
        return nullptr;
    auto *store = new (std::nothrow) CookieStore;
    if (!store)
        return nullptr;
    store->share = curl_share_init();
    store->easy = curl_easy_init();
    if (!store->share || !store->easy) {
        curl_easy_cleanup(store->easy);
        curl_share_cleanup(store->share);
        delete store;
        return nullptr;
    }
    curl_share_setopt(store->share, CURLSHOPT_LOCKFUNC, &LockShare);
    curl_share_setopt(store->share, CURLSHOPT_UNLOCKFUNC, &UnlockShare);
    curl_share_setopt(store->share, CURLSHOPT_USERDATA, store);
    curl_share_setopt(store->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_easy_setopt(store->easy, CURLOPT_SHARE, store->share);
    return store;
}

// Created on first use, and released when wininet.dll is unloaded (a library
// that loads it and is freed takes it and libcurl along) or the process ends.
// A request still open then keeps the share in use: the store stays, as its
// locks are the share's, and goes with the process.
class StoreOwner {
public:
    StoreOwner() : store_(OpenStore()) {}
    StoreOwner(const StoreOwner &) = delete;
    StoreOwner &operator=(const StoreOwner &) = delete;
    ~StoreOwner()
    {
        if (!store_)
            return;
        curl_easy_cleanup(store_->easy);
        store_->easy = nullptr;
        if (curl_share_cleanup(store_->share) == CURLSHE_OK)
            delete store_;
    }
    CookieStore *get() const { return store_; }

private:
    CookieStore *const store_;
};

CookieStore *Store()
{
    static StoreOwner owner;
    return owner.get();
}

// The store belongs to the per-user folder in effect: on first use, and
// whenever the folder is another, it holds that folder's persistent cookies.
void Bind(CookieStore &store)
{
    std::string dir = UserDirectory();
    std::string file = dir.empty() ? std::string() : dir + "/cookies.txt";
    if (file == store.file && store.bound)
        return;
    curl_easy_setopt(store.easy, CURLOPT_COOKIELIST, "ALL");
    store.file = file;
    store.bound = true;
    store.written.clear();
    if (file.empty())
        return;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || (line[0] == '#' && line.compare(0, 10, "#HttpOnly_") != 0))
            continue;
        curl_easy_setopt(store.easy, CURLOPT_COOKIELIST, line.c_str());
    }
}

std::vector<Cookie> AllCookies(CookieStore &store)
{
    std::vector<Cookie> out;
    curl_slist *list = nullptr;
    if (curl_easy_getinfo(store.easy, CURLINFO_COOKIELIST, &list) != CURLE_OK)
        return out;
    try {
        for (curl_slist *item = list; item; item = item->next) {
            Cookie c;
            if (ParseLine(item->data, c))
                out.push_back(std::move(c));
        }
    } catch (...) {
        curl_slist_free_all(list);
        throw;
    }
    curl_slist_free_all(list);
    return out;
}

// Writes the file through a temporary beside it, so that a reader never sees half of it.
void WriteFile(CookieStore &store, const std::string &text)
{
    std::string temporary = store.file + ".tmp";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temporary.c_str(), store.file.c_str()) != 0) {
        unlink(temporary.c_str());
        return;
    }
    store.written = text;
}

void Persist(CookieStore &store)
{
    long long now = static_cast<long long>(std::time(nullptr));
    std::string text = "# Netscape HTTP Cookie File\n";
    for (const Cookie &c : AllCookies(store)) {
        if (c.expires > now)
            text += FormatLine(c) + "\n";
    }
    if (text == store.written || store.file.empty())
        return;
    // Nothing persistent and no file yet: nothing to write.
    if (store.written.empty() && text.find('\t') == std::string::npos && access(store.file.c_str(), F_OK) != 0) {
        store.written = text;
        return;
    }
    WriteFile(store, text);
}

bool DomainMatches(const std::string &host, const Cookie &c)
{
    if (host == c.domain)
        return true;
    if (!c.tailMatch || host.size() <= c.domain.size())
        return false;
    return host.compare(host.size() - c.domain.size(), c.domain.size(), c.domain) == 0 &&
           host[host.size() - c.domain.size() - 1] == '.';
}

bool PathMatches(const std::string &path, const std::string &cookiePath)
{
    if (cookiePath.empty() || path == cookiePath)
        return true;
    if (path.compare(0, cookiePath.size(), cookiePath) != 0)
        return false;
    return cookiePath.back() == '/' || path[cookiePath.size()] == '/';
}

// The directory of a URL path, as a cookie without a Path attribute gets it.
std::string DefaultPath(const std::string &path)
{
    std::size_t slash = path.rfind('/');
    if (path.empty() || path[0] != '/' || slash == 0 || slash == std::string::npos)
        return "/";
    return path.substr(0, slash);
}

bool IsIpAddress(const std::string &host)
{
    if (host.find(':') != std::string::npos)
        return true;
    return host.find_first_not_of("0123456789.") == std::string::npos;
}

DWORD CookiesFor(const char *urlText, const char *name, DWORD flags, std::string &out)
{
    if (!urlText)
        return ERROR_INVALID_PARAMETER;
    Url url;
    if (DWORD err = ParseUrl(urlText, url))
        return err;
    CookieStore *store = Store();
    if (!store)
        return ERROR_NOT_ENOUGH_MEMORY;
    std::string host = Lowered(url.host);
    long long now = static_cast<long long>(std::time(nullptr));
    std::vector<Cookie> matching;
    {
        std::lock_guard<std::mutex> hold(store->mutex);
        Bind(*store);
        for (Cookie &c : AllCookies(*store)) {
            if (c.expires != 0 && c.expires <= now)
                continue;
            if (c.httpOnly && !(flags & INTERNET_COOKIE_HTTPONLY))
                continue;
            if (c.secure && url.scheme != Scheme::Https)
                continue;
            if (!DomainMatches(host, c) || !PathMatches(url.path, c.path))
                continue;
            if (name && *name && c.name != name)
                continue;
            matching.push_back(std::move(c));
        }
    }
    // More specific paths first, as requests send them.
    std::stable_sort(matching.begin(), matching.end(),
                     [](const Cookie &a, const Cookie &b) { return a.path.size() > b.path.size(); });
    out.clear();
    for (const Cookie &c : matching) {
        if (!out.empty())
            out += "; ";
        out += c.name;
        out += '=';
        out += c.value;
    }
    return out.empty() ? ERROR_NO_MORE_ITEMS : ERROR_SUCCESS;
}

DWORD GetCookie(const char *url, const char *name, char *data, DWORD *size, DWORD flags)
{
    if (!size)
        return ERROR_INVALID_PARAMETER;
    std::string text;
    if (DWORD err = CookiesFor(url, name, flags, text))
        return err;
    DWORD needed = static_cast<DWORD>(text.size() + 1);
    if (!data) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(data, text.c_str(), needed);
    *size = needed - 1;
    return ERROR_SUCCESS;
}

// InternetSetCookie's "name=value; attribute; ..." into a store entry.
DWORD ParseCookie(const Url &url, const std::string &text, DWORD flags, Cookie &cookie, bool &expired)
{
    if (text.size() > kMaxCookie)
        return ERROR_INVALID_PARAMETER;
    for (char c : text) {
        if (c == '\t' || c == '\r' || c == '\n')
            return ERROR_INVALID_PARAMETER;
    }
    std::vector<std::string_view> parts;
    std::string_view rest(text);
    while (true) {
        std::size_t semi = rest.find(';');
        parts.push_back(Trimmed(rest.substr(0, semi)));
        if (semi == std::string_view::npos)
            break;
        rest.remove_prefix(semi + 1);
    }
    std::size_t eq = parts[0].find('=');
    if (eq == std::string_view::npos)
        return ERROR_INVALID_PARAMETER;
    cookie.name = std::string(Trimmed(parts[0].substr(0, eq)));
    cookie.value = std::string(Trimmed(parts[0].substr(eq + 1)));
    if (cookie.name.empty())
        return ERROR_INVALID_PARAMETER;

    std::string host = Lowered(url.host);
    cookie.domain = host;
    cookie.path = DefaultPath(url.path);
    long long now = static_cast<long long>(std::time(nullptr));
    bool haveMaxAge = false;
    long long expires = 0;
    expired = false;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        std::string_view part = parts[i];
        std::size_t e = part.find('=');
        std::string key = Lowered(Trimmed(part.substr(0, e)));
        std::string value = e == std::string_view::npos ? std::string() : std::string(Trimmed(part.substr(e + 1)));
        if (key == "expires" && !haveMaxAge) {
            time_t when = curl_getdate(value.c_str(), nullptr);
            if (when != -1)
                expires = when <= now ? -1 : static_cast<long long>(when);
        } else if (key == "max-age") {
            char *end = nullptr;
            long long seconds = std::strtoll(value.c_str(), &end, 10);
            if (!value.empty() && end && *end == '\0') {
                haveMaxAge = true;
                expires = seconds <= 0 ? -1 : now + seconds;
            }
        } else if (key == "domain" && !value.empty()) {
            std::string domain = Lowered(value);
            while (!domain.empty() && domain[0] == '.')
                domain.erase(0, 1);
            if (domain != host) {
                // A cookie only for the URL's host and the domains it lies in.
                Cookie probe;
                probe.domain = domain;
                probe.tailMatch = true;
                if (IsIpAddress(host) || domain.find('.') == std::string::npos || !DomainMatches(host, probe))
                    return ERROR_INVALID_PARAMETER;
                cookie.tailMatch = true;
            }
            cookie.domain = domain;
        } else if (key == "path" && !value.empty() && value[0] == '/') {
            cookie.path = value;
        } else if (key == "secure") {
            cookie.secure = true;
        } else if (key == "httponly") {
            cookie.httpOnly = true;
        }
    }
    if (cookie.httpOnly && !(flags & INTERNET_COOKIE_HTTPONLY))
        return ERROR_INVALID_OPERATION;
    if (expires < 0) {
        expired = true;
        cookie.expires = 1;  // long past: the store drops it and the one it replaces
    } else {
        cookie.expires = expires;
    }
    return ERROR_SUCCESS;
}

DWORD SetCookie(const char *urlText, const char *name, const char *data, DWORD flags, DWORD &state)
{
    state = COOKIE_STATE_UNKNOWN;
    if (!urlText || !data)
        return ERROR_INVALID_PARAMETER;
    Url url;
    if (DWORD err = ParseUrl(urlText, url))
        return err;
    std::string text = name && *name ? std::string(name) + "=" + data : std::string(data);
    Cookie cookie;
    bool expired = false;
    if (DWORD err = ParseCookie(url, text, flags, cookie, expired))
        return err;
    CookieStore *store = Store();
    if (!store)
        return ERROR_NOT_ENOUGH_MEMORY;
    std::lock_guard<std::mutex> hold(store->mutex);
    Bind(*store);
    std::string line = FormatLine(cookie);
    if (curl_easy_setopt(store->easy, CURLOPT_COOKIELIST, line.c_str()) != CURLE_OK)
        return ERROR_NOT_ENOUGH_MEMORY;
    Persist(*store);
    state = COOKIE_STATE_ACCEPT;
    return ERROR_SUCCESS;
}

}  // namespace

CURLSH *CookieShare()
{
    CookieStore *store = Store();
    if (!store)
        return nullptr;
    std::lock_guard<std::mutex> hold(store->mutex);
    Bind(*store);
    return store->share;
}

void PersistCookies()
{
    CookieStore *store = Store();
    if (!store)
        return;
    try {
        std::lock_guard<std::mutex> hold(store->mutex);
        Bind(*store);
        Persist(*store);
    } catch (const std::bad_alloc &) {
        // Written again after the next change.
    }
}

void EndCookieSession()
{
    CookieStore *store = Store();
    if (!store)
        return;
    std::lock_guard<std::mutex> hold(store->mutex);
    Bind(*store);
    curl_easy_setopt(store->easy, CURLOPT_COOKIELIST, "SESS");
}

}  // namespace wininet

using namespace wininet;

BOOL WINAPI InternetGetCookieA(LPCSTR url, LPCSTR, LPSTR cookieData, LPDWORD size)
{
    // The plain call takes no name (WinINet documents it as not implemented).
    DWORD err = Guard([&] { return GetCookie(url, nullptr, cookieData, size, 0); });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI InternetGetCookieExA(LPCSTR url, LPCSTR cookieName, LPSTR cookieData, LPDWORD size, DWORD flags,
                                 LPVOID reserved)
{
    DWORD err = Guard([&]() -> DWORD {
        if (reserved)
            return ERROR_INVALID_PARAMETER;
        return GetCookie(url, cookieName, cookieData, size, flags);
    });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI InternetSetCookieA(LPCSTR url, LPCSTR cookieName, LPCSTR cookieData)
{
    DWORD state = COOKIE_STATE_UNKNOWN;
    DWORD err = Guard([&] { return SetCookie(url, cookieName, cookieData, 0, state); });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return state == COOKIE_STATE_ACCEPT;
}

DWORD WINAPI InternetSetCookieExA(LPCSTR url, LPCSTR cookieName, LPCSTR cookieData, DWORD flags, DWORD_PTR)
{
    // The last argument, a P3P header, is not evaluated: every cookie is accepted or refused on its own.
    DWORD state = COOKIE_STATE_UNKNOWN;
    DWORD err = Guard([&] { return SetCookie(url, cookieName, cookieData, flags, state); });
    if (err) {
        SetLastError(err);
        return COOKIE_STATE_UNKNOWN;
    }
    return state;
}
