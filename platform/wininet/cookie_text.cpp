// Cookie texts: libcurl's cookie list lines, InternetSetCookie's cookie text,
// and the rules that say which cookies a URL gets.
#include "cookie_text.h"
#include "text.h"

#include <ctime>
#include <string_view>
#include <vector>

namespace wininet {

namespace {

constexpr std::size_t kMaxCookie = 4096;
constexpr long long kLastSecond = 253402300799LL;  // 9999-12-31 23:59:59 UTC

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
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

}  // namespace

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
    // No host starts with '#', and its line would read as a comment.
    if (!domain.empty() && domain[0] == '#')
        return false;
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
    // The store keeps domains without a leading dot (a dot there means "and
    // below"): a host that starts with one would come back as another host.
    if (host.empty() || host[0] == '.')
        return ERROR_INVALID_PARAMETER;
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
                // A lifetime past the year 9999 ends there, not (overflowing) in the past.
                expires = seconds <= 0 ? -1 : seconds >= kLastSecond - now ? kLastSecond : now + seconds;
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


}  // namespace wininet
