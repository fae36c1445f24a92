// Data files (INTERNET_FLAG_NEED_FILE): a copy of what is read from a URL
// handle, in <userdir>/cache, named after the URL's last path segment. There
// is no cache to keep it in, so it goes with the handle.
#include "internal.h"

#include <platform/errors.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wininet {

namespace {

constexpr std::size_t kNameLimit = 100;

bool Plain(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
}

// The last path segment, with only characters any file system takes.
std::string NameOf(const std::string &urlPath)
{
    std::size_t slash = urlPath.rfind('/');
    std::string name;
    for (char c : slash == std::string::npos ? urlPath : urlPath.substr(slash + 1))
        name += Plain(c) ? c : '_';
    if (name.size() > kNameLimit)
        name.erase(0, name.size() - kNameLimit);
    if (name.find_first_not_of('.') == std::string::npos)
        name = "index";
    return name;
}

}  // namespace

DWORD DataFile::Create(const std::string &urlPath, std::shared_ptr<DataFile> &file)
{
    std::string dir = UserDirectory();
    if (dir.empty())
        return ERROR_PATH_NOT_FOUND;
    dir += "/cache";
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return platform::ErrorFromErrno(errno);
    // "name[XXXXXX].ext", as a cache names its copies.
    std::string name = NameOf(urlPath);
    std::size_t dot = name.rfind('.');
    std::string extension = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
    std::string pattern = dir + "/" + name.substr(0, name.size() - extension.size()) + "[XXXXXX]" + extension;
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    int fd = mkostemps(path.data(), static_cast<int>(extension.size() + 1), O_CLOEXEC);
    if (fd < 0)
        return platform::ErrorFromErrno(errno);
    try {
        file.reset(new DataFile(path.data(), fd));
    } catch (...) {
        close(fd);
        unlink(path.data());
        throw;
    }
    return ERROR_SUCCESS;
}

DataFile::~DataFile()
{
    close(fd_);
    unlink(path_.c_str());
}

DWORD DataFile::Append(const void *data, DWORD size)
{
    std::lock_guard<std::mutex> hold(lock_);
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = write(fd_, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return platform::ErrorFromErrno(n < 0 ? errno : ENOSPC);
        bytes += n;
        size -= static_cast<DWORD>(n);
    }
    return ERROR_SUCCESS;
}

}  // namespace wininet
