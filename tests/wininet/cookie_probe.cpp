// A second process on the same per-user folder: prints what the cookie store
// holds for a URL ("none <error>" when nothing).
//   wininet_cookie_probe URL [NAME VALUE-AND-ATTRIBUTES]   (the second form sets a cookie first)
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s URL [NAME DATA]\n", argv[0]);
        return 2;
    }
    if (argc == 4 && !InternetSetCookieA(argv[1], argv[2], argv[3])) {
        std::printf("set failed %u\n", GetLastError());
        return 1;
    }
    DWORD size = 0;
    if (!InternetGetCookieA(argv[1], nullptr, nullptr, &size)) {
        std::printf("none %u\n", GetLastError());
        return 0;
    }
    std::string data(size, '\0');
    if (!InternetGetCookieA(argv[1], nullptr, data.data(), &size)) {
        std::printf("failed %u\n", GetLastError());
        return 1;
    }
    std::printf("%s\n", data.c_str());
    return 0;
}
