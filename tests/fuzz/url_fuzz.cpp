// URLs as InternetOpenUrlA cracks them: whatever is taken parses again to
// itself, and the URLs made from it (another scheme, no credentials) parse too.
#include <internal.h>

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace wininet;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    InitCurl();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    Url url;
    if (ParseUrl(text, url))
        return 0;
    if (url.host.empty() || url.path.empty() || url.path[0] != '/' || url.port == 0)
        std::abort();
    if (url.text.find_first_of("\r\n\t ") != std::string::npos)
        std::abort();  // nothing that would break a request line
    Url again;
    if (ParseUrl(url.text, again) || again.text != url.text || again.host != url.host || again.port != url.port ||
        again.path != url.path || again.scheme != url.scheme)
        std::abort();
    Url other;
    WithScheme(url, url.scheme == Scheme::Https ? Scheme::Http : Scheme::Https, other);
    Url bare;
    if (WithoutCredentials(url, bare) == ERROR_SUCCESS && (!bare.user.empty() || !bare.password.empty()))
        std::abort();
    return 0;
}
