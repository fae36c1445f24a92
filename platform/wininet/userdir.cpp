// The stand-ins' per-user folder, where WinINet keeps the user's cookies and
// root certificates.
#include "internal.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wininet {

std::string UserDirectory()
{
    const char *dir = std::getenv("PLATFORM_USER_DIR");
    if (dir && *dir)
        return dir;
    const char *home = std::getenv("HOME");
    if (!home || !*home) {
        const struct passwd *pw = getpwuid(getuid());
        home = pw && pw->pw_dir ? pw->pw_dir : "/tmp";
    }
    return std::string(home) + "/.brevanto-platform";
}

DWORD MakeDirectories(const std::string &path)
{
    std::string partial;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        partial = path.substr(0, slash);
        pos = slash + 1;
        if (partial.empty())
            continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return errno == EACCES || errno == EROFS ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

}  // namespace wininet
