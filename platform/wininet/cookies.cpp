// The process-wide cookie store. libcurl's cookie engine holds it (a share
// handle every request joins), parses the responses' Set-Cookie and sends the
// cookies with requests. Written here is what libcurl has no call for:
// InternetSetCookie's cookie text turned into a store entry, the lookup for
// a URL that InternetGetCookie answers, and keeping only the persistent
// cookies in <userdir>/cookies.txt, so that session cookies end with the
// process. The texts and the matching rules are in cookie_text.cpp.
#include "cookie_text.h"
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
