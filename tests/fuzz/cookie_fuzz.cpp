// Cookie texts: what InternetSetCookie takes for a URL, and the lines of the
// cookie file. A cookie taken for a URL belongs to that URL's host, and
// survives the round trip through the file's line format unchanged.
#include <cookie_text.h>

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace wininet;

namespace {

bool Same(const Cookie &a, const Cookie &b)
{
    return a.domain == b.domain && a.tailMatch == b.tailMatch && a.path == b.path && a.secure == b.secure &&
           a.httpOnly == b.httpOnly && a.expires == b.expires && a.name == b.name && a.value == b.value;
}

std::string Lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    InitCurl();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    // A line of the cookie file, read and written again.
    Cookie fromFile;
    if (ParseLine(input, fromFile)) {
        Cookie again;
        if (!ParseLine(FormatLine(fromFile), again))
            std::abort();
    }
    // "URL\nFLAGS\nCOOKIE": a cookie set for a URL.
    std::size_t a = input.find('\n');
    std::size_t b = a == std::string::npos ? a : input.find('\n', a + 1);
    if (b == std::string::npos)
        return 0;
    Url url;
    if (ParseUrl(input.substr(0, a), url))
        return 0;
    DWORD flags = input[a + 1] == 'h' ? INTERNET_COOKIE_HTTPONLY : 0;
    Cookie cookie;
    bool expired = false;
    if (ParseCookie(url, input.substr(b + 1), flags, cookie, expired))
        return 0;
    if (!DomainMatches(Lower(url.host), cookie))
        std::abort();
    Cookie again;
    if (!ParseLine(FormatLine(cookie), again) || !Same(again, cookie))
        std::abort();
    return 0;
}
