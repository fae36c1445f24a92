// FTP files: FtpGetFileA and FtpPutFileA between a remote file and a local
// one, and the file handles InternetOpenUrlA makes of ftp:// URLs.
//
// A download goes to a new file beside the target and takes the target's
// name only when it is complete, so a failed or broken download leaves no
// partial file and does not touch a file that was there before.
#include "ftp.h"

#include <platform/errors.h>
#include <platform/paths.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace wininet {

namespace {

constexpr DWORD kReadChunk = 64 * 1024;
// FILE_FLAG_WRITE_THROUGH, in the flags part of dwFlagsAndAttributes.
constexpr DWORD kWriteThrough = 0x80000000;

bool BothTypes(DWORD flags) { return (flags & FTP_TRANSFER_TYPE_MASK) == FTP_TRANSFER_TYPE_MASK; }

bool Ascii(DWORD flags) { return (flags & FTP_TRANSFER_TYPE_MASK) == FTP_TRANSFER_TYPE_ASCII; }

// A remote file name libcurl can be given: a name that ends in '/' would be
// taken for a directory to list.
bool IsRemoteFileName(const char *name)
{
    if (!name || !*name || !IsSafeFtpArgument(name))
        return false;
    return name[std::strlen(name) - 1] != '/';
}

std::string Parent(const std::string &path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The error for a path that could not be opened: Windows tells a missing
// file from a missing folder.
DWORD MissingPath(const std::string &path, int error)
{
    if (error == ENOENT) {
        struct stat st;
        std::string parent = Parent(path);
        if (stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return ERROR_PATH_NOT_FOUND;
        return ERROR_FILE_NOT_FOUND;
    }
    if (error == ENOTDIR)
        return ERROR_PATH_NOT_FOUND;
    return platform::ErrorFromErrno(error);
}

// The local file a download makes: written under a temporary name in the
// target's folder, given the target's name by Commit.
class LocalDownload {
public:
    LocalDownload() = default;
    LocalDownload(const LocalDownload &) = delete;
    LocalDownload &operator=(const LocalDownload &) = delete;

    ~LocalDownload()
    {
        if (fd_ >= 0)
            close(fd_);
        if (!temp_.empty())
            unlink(temp_.c_str());
    }

    DWORD Open(const std::string &target, bool failIfExists, DWORD flagsAndAttributes)
    {
        failIfExists_ = failIfExists;
        attributes_ = flagsAndAttributes;
        target_ = target;
        struct stat st;
        if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            // The file a link names is the one replaced; the link stays.
            char *real = realpath(target.c_str(), nullptr);
            if (real) {
                target_ = real;
                std::free(real);
            }
        }
        if (stat(target_.c_str(), &st) == 0) {
            if (failIfExists)
                return ERROR_FILE_EXISTS;
            // Windows replaces neither a folder nor a read-only file.
            if (S_ISDIR(st.st_mode) || (st.st_mode & 0222) == 0)
                return ERROR_ACCESS_DENIED;
        } else if (errno != ENOENT) {
            return MissingPath(target_, errno);
        }
        std::size_t slash = target_.rfind('/');
        std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
        if (base.empty())
            return ERROR_PATH_NOT_FOUND;
        std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
        // ".name.XXXXXXXXXXXXXXXX.part", short enough for any file system's name limit.
        std::string stem = "." + base.substr(0, 200) + ".";
        for (int attempt = 0; attempt < 16; ++attempt) {
            unsigned char random[8];
            if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
                return ERROR_INTERNET_INTERNAL_ERROR;
            static const char hex[] = "0123456789abcdef";
            std::string name = folder + stem;
            for (unsigned char b : random) {
                name += hex[b >> 4];
                name += hex[b & 15];
            }
            name += ".part";
            // 0666 less the umask, as a file the program made itself.
            int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                fd_ = fd;
                temp_ = name;
                return ERROR_SUCCESS;
            }
            if (errno != EEXIST)
                return errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : platform::ErrorFromErrno(errno);
        }
        return ERROR_ALREADY_EXISTS;
    }

    DWORD Write(const char *data, std::size_t size)
    {
        while (size > 0) {
            ssize_t n = write(fd_, data, size);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return platform::ErrorFromErrno(errno);
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return ERROR_SUCCESS;
    }

    DWORD Commit()
    {
        // On disk before it takes the name, so a crash cannot leave the target empty.
        if (fsync(fd_) != 0 && errno != EINVAL)
            return platform::ErrorFromErrno(errno);
        if (attributes_ & FILE_ATTRIBUTE_READONLY) {
            struct stat st;
            if (fstat(fd_, &st) != 0 || fchmod(fd_, st.st_mode & 07555) != 0)
                return platform::ErrorFromErrno(errno);
        }
        int fd = fd_;
        fd_ = -1;
        if (close(fd) != 0)
            return platform::ErrorFromErrno(errno);
        if (attributes_ & kWriteThrough) {
            int dir = open(Parent(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dir >= 0) {
                fsync(dir);
                close(dir);
            }
        }
        if (failIfExists_) {
            // The check at Open may be old news: the name is taken only if still free.
            if (renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) != 0) {
                if (errno == EEXIST)
                    return ERROR_FILE_EXISTS;
                if (errno != EINVAL && errno != ENOSYS)
                    return platform::ErrorFromErrno(errno);
                if (link(temp_.c_str(), target_.c_str()) != 0)
                    return errno == EEXIST ? ERROR_FILE_EXISTS : platform::ErrorFromErrno(errno);
                unlink(temp_.c_str());
            }
        } else if (rename(temp_.c_str(), target_.c_str()) != 0) {
            return platform::ErrorFromErrno(errno);
        }
        temp_.clear();
        return ERROR_SUCCESS;
    }

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    bool failIfExists_ = false;
    DWORD attributes_ = 0;
};

struct LocalSource {
    int fd = -1;
    int error = 0;

    ~LocalSource()
    {
        if (fd >= 0)
            close(fd);
    }

    static size_t Read(char *buffer, size_t size, size_t count, void *self)
    {
        LocalSource *s = static_cast<LocalSource *>(self);
        for (;;) {
            ssize_t n = read(s->fd, buffer, size * count);
            if (n >= 0)
                return static_cast<size_t>(n);
            if (errno != EINTR) {
                s->error = errno;
                return CURL_READFUNC_ABORT;
            }
        }
    }
};

struct MemorySource {
    const char *data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;

    static size_t Read(char *buffer, size_t size, size_t count, void *self)
    {
        MemorySource *s = static_cast<MemorySource *>(self);
        std::size_t n = std::min(size * count, s->size - s->pos);
        std::memcpy(buffer, s->data + s->pos, n);
        s->pos += n;
        return n;
    }
};

DWORD Download(FtpConnection &connection, const std::string &remote, LocalDownload &local, bool ascii)
{
    Options options = connection.Settings();
    std::unique_ptr<FtpRequest> request;
    if (DWORD err = connection.Control().StartDownload(options, remote, ascii, request))
        return err;
    std::vector<char> buffer(kReadChunk);
    for (;;) {
        DWORD got = 0;
        if (DWORD err = request->Read(buffer.data(), kReadChunk, &got))
            return err;
        if (got == 0)
            return ERROR_SUCCESS;
        if (DWORD err = local.Write(buffer.data(), got))
            return err;
    }
}

// ---- ftp:// URLs ----

// The file behind an ftp:// URL. The URL's directory is checked when the
// handle is made; the file is opened by the first read (RETR) or the first
// write (STOR, which makes it when it is not there). Each write is a
// transfer of its own, answered (226) before the call returns: the first
// stores, every later one appends (APPE). A read after a write finds the
// handle in the wrong state, as a write ends a read that had begun.
class FtpUrlFile : public Handle {
public:
    FtpUrlFile(const std::shared_ptr<SessionHandle> &session, OpenUrlParams params, FtpLogin login,
               std::string directory, std::string file, bool ascii)
        : Handle(INTERNET_HANDLE_TYPE_FTP_FILE, session, params.context), params_(std::move(params)),
          directory_(std::move(directory)), file_(std::move(file)), ascii_(ascii),
          control_(std::move(login), &ClosedFlag())
    {
    }

    ~FtpUrlFile() override { request_.reset(); }

    DWORD Begin()
    {
        std::lock_guard<std::mutex> hold(io_);
        Options options = Settings();
        if (DWORD err = control_.Init())
            return err;
        if (DWORD err = control_.Connect(options))
            return err;
        if (!directory_.empty())
            return control_.ChangeDirectory(options, directory_);
        return ERROR_SUCCESS;
    }

    bool Readable() const override { return true; }
    bool Writable() const override { return true; }

    DWORD Read(void *buffer, DWORD size, DWORD *got) override
    {
        std::lock_guard<std::mutex> hold(io_);
        if (written_)
            return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
        if (finished_)
            return failed_;
        Options options = Settings();
        if (!request_) {
            DWORD err;
            if (file_.empty()) {
                // A directory's URL reads as the server's listing.
                auto r = std::make_unique<FtpRequest>(control_, options);
                err = r->Init();
                if (!err)
                    err = r->Listing("", "LIST");
                if (!err)
                    err = r->Start();
                if (!err)
                    request_ = std::move(r);
            } else {
                err = control_.StartDownload(options, file_, ascii_, request_);
            }
            if (err) {
                finished_ = true;
                failed_ = err;
                return err;
            }
        }
        if (size == 0)
            return ERROR_SUCCESS;
        DWORD err = request_->Read(static_cast<char *>(buffer), size, got);
        if (err || *got == 0) {
            // A broken download stays broken for later reads.
            request_.reset();
            finished_ = true;
            failed_ = err;
        }
        return err;
    }

    DWORD Write(const void *buffer, DWORD size, DWORD *written) override
    {
        std::lock_guard<std::mutex> hold(io_);
        if (file_.empty())
            return ERROR_INTERNET_INVALID_OPERATION;
        // A read under way ends here; libcurl then logs in afresh for the upload.
        request_.reset();
        written_ = true;
        MemorySource source;
        source.data = static_cast<const char *>(buffer);
        source.size = size;
        FtpRequest request(control_, Settings());
        if (DWORD err = request.Init())
            return err;
        if (DWORD err = request.Upload(file_, ascii_, stored_, &MemorySource::Read, &source, size))
            return err;
        if (DWORD err = request.Run())
            return err;
        if (const FtpReply *last = request.LastReply())
            SetLastResponse(static_cast<DWORD>(last->code), last->text);
        stored_ = true;
        *written = size;
        return ERROR_SUCCESS;
    }

    DWORD QueryOwnOption(DWORD option, void *buffer, DWORD *length) override
    {
        if (option == INTERNET_OPTION_URL)
            return CopyStringOption(params_.url.text, buffer, length);
        return ERROR_INTERNET_INVALID_OPTION;
    }

    void OnClose() override { control_.Wakeup(); }

private:
    const OpenUrlParams params_;
    const std::string directory_;
    const std::string file_;
    const bool ascii_;
    std::mutex io_;  // one call at a time on the control connection
    FtpControl control_;
    std::unique_ptr<FtpRequest> request_;  // the download under way
    bool finished_ = false;
    DWORD failed_ = ERROR_SUCCESS;
    bool written_ = false;
    bool stored_ = false;
};

}  // namespace

DWORD OpenFtpUrl(const std::shared_ptr<SessionHandle> &session, const OpenUrlParams &params,
                 std::shared_ptr<Handle> &file)
{
    const Url &url = params.url;
    bool useCredentials = !(params.flags & INTERNET_FLAG_NO_AUTH) && !url.user.empty();
    std::string user = useCredentials ? Unescape(url.user) : std::string();
    std::string password = useCredentials ? Unescape(url.password) : std::string();
    FtpLogin login;
    if (DWORD err = MakeFtpLogin(url.host, url.port, useCredentials, user, useCredentials && !password.empty(),
                                 password, (params.flags & INTERNET_FLAG_PASSIVE) != 0, login))
        return err == ERROR_INVALID_PARAMETER ? ERROR_INTERNET_INVALID_URL : err;

    // The path after the host's '/', with a ";type=a|i" ending as RFC 1738 has it.
    std::string path = url.path.size() > 1 ? url.path.substr(1) : std::string();
    bool ascii = (params.flags & FTP_TRANSFER_TYPE_MASK) == FTP_TRANSFER_TYPE_ASCII;
    std::size_t type = path.rfind(";type=");
    if (type != std::string::npos && type + 7 == path.size()) {
        char t = path.back();
        if (t == 'a' || t == 'A')
            ascii = true;
        else if (t == 'i' || t == 'I')
            ascii = false;
        path.erase(type);
    }
    std::string decoded = Unescape(path);
    if (!IsSafeFtpArgument(decoded))
        return ERROR_INTERNET_INVALID_URL;
    std::size_t slash = decoded.rfind('/');
    std::string directory, name;
    if (slash == std::string::npos) {
        name = decoded;
    } else {
        directory = slash == 0 ? "/" : decoded.substr(0, slash);
        name = decoded.substr(slash + 1);
    }
    auto ftp = std::make_shared<FtpUrlFile>(session, params, std::move(login), std::move(directory), std::move(name),
                                            ascii);
    if (DWORD err = ftp->Begin())
        return err;
    file = ftp;
    return ERROR_SUCCESS;
}

}  // namespace wininet

using namespace wininet;

BOOL WINAPI FtpGetFileA(HINTERNET connect, LPCSTR remoteFile, LPCSTR newFile, BOOL failIfExists,
                        DWORD flagsAndAttributes, DWORD flags, DWORD_PTR)
{
    DWORD err = Guard([&]() -> DWORD {
        FtpCall call;
        if (DWORD e = call.Enter(connect))
            return e;
        if (!remoteFile || !newFile || BothTypes(flags) || !IsRemoteFileName(remoteFile))
            return ERROR_INVALID_PARAMETER;
        std::string local;
        if (DWORD e = platform::ToNativePath(newFile, local))
            return e;
        LocalDownload target;
        if (DWORD e = target.Open(local, failIfExists != FALSE, flagsAndAttributes))
            return e;
        if (DWORD e = Download(call.Connection(), remoteFile, target, Ascii(flags)))
            return e;
        return target.Commit();
    });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FtpPutFileA(HINTERNET connect, LPCSTR localFile, LPCSTR newRemoteFile, DWORD flags, DWORD_PTR)
{
    DWORD err = Guard([&]() -> DWORD {
        FtpCall call;
        if (DWORD e = call.Enter(connect))
            return e;
        if (!localFile || !newRemoteFile || BothTypes(flags))
            return ERROR_INVALID_PARAMETER;
        std::string local;
        if (DWORD e = platform::ToNativePath(localFile, local))
            return e;
        LocalSource source;
        source.fd = open(local.c_str(), O_RDONLY | O_CLOEXEC);
        if (source.fd < 0)
            return MissingPath(local, errno);
        struct stat st;
        if (fstat(source.fd, &st) != 0)
            return platform::ErrorFromErrno(errno);
        if (S_ISDIR(st.st_mode))
            return ERROR_ACCESS_DENIED;
        if (!IsRemoteFileName(newRemoteFile))
            return ERROR_INVALID_PARAMETER;
        FtpConnection &c = call.Connection();
        FtpRequest request(c.Control(), c.Settings());
        if (DWORD e = request.Init())
            return e;
        if (DWORD e = request.Upload(newRemoteFile, Ascii(flags), false, &LocalSource::Read, &source,
                                     S_ISREG(st.st_mode) ? static_cast<curl_off_t>(st.st_size) : -1))
            return e;
        DWORD e = request.Run();
        if (source.error)
            return platform::ErrorFromErrno(source.error);
        if (e)
            return e;
        if (const FtpReply *last = request.LastReply())
            SetLastResponse(static_cast<DWORD>(last->code), last->text);
        return ERROR_SUCCESS;
    });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}
