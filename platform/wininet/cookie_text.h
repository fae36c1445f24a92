// Cookie texts: the lines of libcurl's cookie list (the Netscape cookie file
// format), InternetSetCookie's "name=value; attribute; ..." and which stored
// cookies a URL gets.
#ifndef PLATFORM_WININET_COOKIE_TEXT_H
#define PLATFORM_WININET_COOKIE_TEXT_H

#include "internal.h"

#include <string>

namespace wininet {

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

// A line of libcurl's cookie list into a cookie; false when it is none.
bool ParseLine(const std::string &line, Cookie &cookie);
// The cookie as a line of libcurl's cookie list.
std::string FormatLine(const Cookie &c);

// InternetSetCookie's text for url into a cookie; expired tells a cookie that
// deletes the one it replaces. ERROR_INVALID_PARAMETER for a text that is no
// cookie, or one for a domain the URL's host is not in.
DWORD ParseCookie(const Url &url, const std::string &text, DWORD flags, Cookie &cookie, bool &expired);

// Whether a request to host (lower case) and path gets the cookie.
bool DomainMatches(const std::string &host, const Cookie &c);
bool PathMatches(const std::string &path, const std::string &cookiePath);

}  // namespace wininet

#endif  // PLATFORM_WININET_COOKIE_TEXT_H
