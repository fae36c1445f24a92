// Proxies: the access types and the proxy and bypass lists of InternetOpenA,
// in WinINet's forms, turned into what libcurl takes.
#include "internal.h"

namespace wininet {

namespace {

// Entries are separated by spaces, semicolons or commas.
std::vector<std::string> Entries(const std::string &list)
{
    std::vector<std::string> out;
    std::string current;
    for (char c : list) {
        if (c == ' ' || c == '\t' || c == ';' || c == ',' || c == '\r' || c == '\n') {
            if (!current.empty())
                out.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        out.push_back(current);
    return out;
}

std::string_view WithoutScheme(std::string_view text)
{
    std::size_t pos = text.find("://");
    return pos == std::string_view::npos ? text : text.substr(pos + 3);
}

// '*' stands for any run of characters; the text and the pattern are lower case.
bool Matches(std::string_view text, std::string_view pattern)
{
    std::size_t t = 0, p = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

}  // namespace

std::string ProxyForScheme(const std::string &list, const char *scheme)
{
    std::string specific, general, socks;
    for (const std::string &entry : Entries(list)) {
        std::string_view e(entry);
        std::string name;
        std::size_t eq = e.find('=');
        if (eq != std::string_view::npos) {
            name = Lowered(e.substr(0, eq));
            e = e.substr(eq + 1);
        }
        e = WithoutScheme(e);
        while (!e.empty() && e.back() == '/')
            e.remove_suffix(1);
        if (e.empty())
            continue;
        if (name == scheme && specific.empty())
            specific = e;
        else if (name.empty() && general.empty())
            general = e;
        else if (name == "socks" && socks.empty())
            socks = e;
    }
    std::string chosen = !specific.empty() ? specific : !general.empty() ? general : socks;
    if (chosen.empty())
        return chosen;
    bool isSocks = specific.empty() && general.empty();
    // A proxy named without a port listens on 80 for WinINet (1080 for SOCKS).
    bool hasPort = false;
    std::size_t close = chosen.rfind(']');
    std::size_t colon = chosen.rfind(':');
    if (colon != std::string::npos && (close == std::string::npos || colon > close))
        hasPort = true;
    std::string url = isSocks ? "socks4://" : "http://";
    url += chosen;
    if (!hasPort)
        url += isSocks ? ":1080" : ":80";
    return url;
}

bool Bypassed(const std::string &bypass, const std::string &host, INTERNET_PORT port)
{
    std::string h = Lowered(host);
    std::string hostPort = h + ":" + std::to_string(port);
    for (const std::string &entry : Entries(bypass)) {
        std::string pattern = Lowered(WithoutScheme(entry));
        if (pattern == "<local>") {
            if (h.find('.') == std::string::npos && h.find(':') == std::string::npos)
                return true;
            continue;
        }
        if (pattern.front() == '<')
            continue;
        bool withPort = pattern.find(':') != std::string::npos && h.find(':') == std::string::npos;
        if (Matches(withPort ? hostPort : h, pattern))
            return true;
    }
    return false;
}

ProxyChoice ChooseProxy(const ProxySettings &settings, const Url &url)
{
    ProxyChoice choice;
    switch (settings.accessType) {
    case INTERNET_OPEN_TYPE_DIRECT:
        break;
    case INTERNET_OPEN_TYPE_PROXY:
        if (!Bypassed(settings.bypass, url.host, url.port))
            choice.proxy = ProxyForScheme(settings.list, SchemeName(url.scheme));
        break;
    default:
        choice.useEnvironment = true;
        break;
    }
    return choice;
}

bool GoesThroughProxy(const Options &options, const Url &url)
{
    return !ChooseProxy(ResolvedProxy(options.proxy), url).proxy.empty();
}

}  // namespace wininet
