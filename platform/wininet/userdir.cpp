// The stand-ins' per-user folder, where WinINet keeps the user's cookies and
// root certificates: kernel32's, made when missing.
#include "internal.h"

#include <platform/paths.h>

namespace wininet {

std::string UserDirectory()
{
    std::string path;
    if (platform::UserDirectory(path))
        return std::string();
    return path;
}

}  // namespace wininet
