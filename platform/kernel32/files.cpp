// Files and folders on Windows paths: CreateFileA, ReadFile, WriteFile,
// DeleteFileA, CreateDirectoryA, RemoveDirectoryA, GetFileAttributesA,
// SetFileAttributesA, GetTempPathA, Get/SetCurrentDirectoryA.
//
// A file is in use, as Windows counts it, when a process runs it or has it
// loaded (an executable mapping of it in /proc/PID/maps): deleting it is
// ERROR_ACCESS_DENIED. Share modes hold between every handle that
// CreateFileA opened, in any process: each handle keeps shared OFD locks on
// marker bytes far past any real data (one for each access it has, one for
// each sharing it refuses), which die with the handle or its process. Only
// files the process may read take part.
#include "files.h"

#include "handles.h"

#include <platform/cp1252.h>
#include <platform/paths.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace kernel32 {
namespace {

// The marker bytes: access held at kMarks + 0..2, sharing refused at kMarks + 3..5.
constexpr off_t kMarks = 0x7FFFFFFF00000000;
enum Right { kRead, kWrite, kDelete, kRights };

bool SameName(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (platform::cp1252::ToLower(static_cast<unsigned char>(*a)) !=
            platform::cp1252::ToLower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string ParentOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// ERROR_FILE_NOT_FOUND when the folder is there and the name is not, else ERROR_PATH_NOT_FOUND.
DWORD Missing(const std::string& native) {
    struct stat st;
    std::string parent = ParentOf(native);
    return stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

bool ReadOnly(const struct stat& st) { return (st.st_mode & 0222) == 0; }

struct Lock {
    static bool Set(int fd, short type, off_t at) {
        struct flock l{};
        l.l_type = type;
        l.l_whence = SEEK_SET;
        l.l_start = at;
        l.l_len = 1;
        while (fcntl(fd, F_OFD_SETLK, &l) != 0)
            if (errno != EINTR) return false;
        return true;
    }
    // Whether another open file holds a lock on the byte.
    static bool HeldElsewhere(int fd, off_t at) {
        struct flock l{};
        l.l_type = F_WRLCK;
        l.l_whence = SEEK_SET;
        l.l_start = at;
        l.l_len = 1;
        return fcntl(fd, F_OFD_GETLK, &l) == 0 && l.l_type != F_UNLCK;
    }
};

// A descriptor kept only for the share-mode locks; -1 when the file cannot be read (then no share modes apply).
int OpenForLocks(const std::string& native) { return open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); }

// Checks `rights` and `share` against every other handle's locks and places this handle's own.
DWORD TakeShare(int fd, const bool rights[kRights], DWORD share) {
    if (fd < 0) return ERROR_SUCCESS;
    const bool shares[kRights] = {(share & FILE_SHARE_READ) != 0, (share & FILE_SHARE_WRITE) != 0,
                                  (share & FILE_SHARE_DELETE) != 0};
    // The check and the marking happen under a whole-file flock, which read-only descriptors may take.
    while (flock(fd, LOCK_EX) != 0)
        if (errno != EINTR) return ERROR_SUCCESS;
    DWORD err = ERROR_SUCCESS;
    for (int r = 0; r < kRights && !err; ++r) {
        if (rights[r] && Lock::HeldElsewhere(fd, kMarks + kRights + r)) err = ERROR_SHARING_VIOLATION;
        if (!shares[r] && Lock::HeldElsewhere(fd, kMarks + r)) err = ERROR_SHARING_VIOLATION;
    }
    for (int r = 0; r < kRights && !err; ++r) {
        if (rights[r]) Lock::Set(fd, F_RDLCK, kMarks + r);
        if (!shares[r]) Lock::Set(fd, F_RDLCK, kMarks + kRights + r);
    }
    flock(fd, LOCK_UN);
    return err;
}

// Whether a process runs the file or has it mapped executable (loaded).
bool RunningImage(const struct stat& target) {
    DIR* proc = opendir("/proc");
    if (!proc) return false;
    char wanted[64];
    snprintf(wanted, sizeof wanted, "%02x:%02x %lu", major(target.st_dev), minor(target.st_dev),
             static_cast<unsigned long>(target.st_ino));
    bool found = false;
    while (dirent* e = readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        // The program a process runs counts from the start of its exec, before
        // the image is mapped.
        struct stat exe;
        if (stat((std::string("/proc/") + e->d_name + "/exe").c_str(), &exe) == 0 && exe.st_dev == target.st_dev &&
            exe.st_ino == target.st_ino) {
            found = true;
            break;
        }
        std::ifstream maps(std::string("/proc/") + e->d_name + "/maps");
        std::string line;
        while (!found && std::getline(maps, line)) {
            // address perms offset dev inode path
            size_t perms = line.find(' ');
            if (perms == std::string::npos || line.size() < perms + 5 || line[perms + 3] != 'x') continue;
            size_t offset = line.find(' ', perms + 1);
            size_t dev = offset == std::string::npos ? offset : line.find(' ', offset + 1);
            if (dev == std::string::npos) continue;
            std::string rest = line.substr(dev + 1);
            if (rest.compare(0, strlen(wanted), wanted) == 0 &&
                (rest.size() == strlen(wanted) || rest[strlen(wanted)] == ' '))
                found = true;
        }
        if (found) break;
    }
    closedir(proc);
    return found;
}

class File : public KernelObject {
  public:
    File(int fd, int lockFd, bool read, bool write) : fd_(fd), lockFd_(lockFd), read_(read), write_(write) {}
    ~File() override {
        close(fd_);
        if (lockFd_ >= 0) close(lockFd_);
    }
    DWORD Write(const BYTE* data, DWORD size, DWORD& done) {
        done = 0;
        if (!write_) return ERROR_ACCESS_DENIED;
        while (done < size) {
            ssize_t n = write(fd_, data + done, size - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return platform::ErrorFromErrno(n < 0 ? errno : ENOSPC);
            done += static_cast<DWORD>(n);
        }
        return ERROR_SUCCESS;
    }
    DWORD Read(BYTE* data, DWORD size, DWORD& done) {
        done = 0;
        if (!read_) return ERROR_ACCESS_DENIED;
        for (;;) {
            ssize_t n = read(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return platform::ErrorFromErrno(errno);
            done = static_cast<DWORD>(n);
            return ERROR_SUCCESS;
        }
    }

  private:
    int fd_, lockFd_;
    bool read_, write_;
};

DWORD Create(LPCSTR name, DWORD access, DWORD share, DWORD disposition, DWORD flags, HANDLE& result, bool& existed) {
    if (flags & (FILE_FLAG_OVERLAPPED | FILE_FLAG_DELETE_ON_CLOSE)) return ERROR_CALL_NOT_IMPLEMENTED;
    std::string native;
    if (DWORD err = NativeName(name, native)) return err;
    const bool rights[kRights] = {(access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0,
                                  (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0,
                                  (access & (DELETE | GENERIC_ALL)) != 0};
    int mode = rights[kRead] && rights[kWrite] ? O_RDWR : rights[kWrite] ? O_WRONLY : O_RDONLY;
    struct stat st;
    existed = stat(native.c_str(), &st) == 0;
    if (existed && S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
    bool truncate = false;
    switch (disposition) {
    case CREATE_NEW:
        if (existed) return ERROR_FILE_EXISTS;
        break;
    case CREATE_ALWAYS: truncate = existed; break;
    case OPEN_EXISTING:
        if (!existed) return Missing(native);
        break;
    case OPEN_ALWAYS: break;
    case TRUNCATE_EXISTING:
        if (!existed) return Missing(native);
        if (!rights[kWrite]) return ERROR_INVALID_PARAMETER;
        truncate = true;
        break;
    default: return ERROR_INVALID_PARAMETER;
    }
    // Linux lets root write anything; Windows refuses a read-only file to every writer.
    if (existed && ReadOnly(st) && (rights[kWrite] || truncate)) return ERROR_ACCESS_DENIED;
    if (!existed) {
        mode_t bits = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
        int made = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, bits);
        if (made < 0) return errno == ENOENT ? ERROR_PATH_NOT_FOUND : errno == EEXIST ? ERROR_FILE_EXISTS
                                                                                      : platform::ErrorFromErrno(errno);
        close(made);
    }
    int lockFd = OpenForLocks(native);
    if (DWORD err = TakeShare(lockFd, rights, share)) {
        if (lockFd >= 0) close(lockFd);
        if (!existed) unlink(native.c_str());
        return err;
    }
    int openFlags = mode | O_CLOEXEC | O_NOCTTY | (truncate ? O_TRUNC : 0) | ((flags & FILE_FLAG_WRITE_THROUGH) ? O_DSYNC : 0);
    int fd = open(native.c_str(), openFlags);
    if (fd < 0) {
        DWORD err = platform::ErrorFromErrno(errno);
        if (lockFd >= 0) close(lockFd);
        return err;
    }
    if (flags & FILE_FLAG_SEQUENTIAL_SCAN) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (existed && truncate && disposition == CREATE_ALWAYS && (flags & FILE_ATTRIBUTE_READONLY)) fchmod(fd, st.st_mode & ~0222);
    result = AddHandle(std::make_shared<File>(fd, lockFd, rights[kRead], rights[kWrite]));
    return result ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

DWORD Delete(LPCSTR name) {
    std::string native;
    if (DWORD err = NativeName(name, native)) return err;
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) return errno == ENOENT ? Missing(native) : platform::ErrorFromErrno(errno);
    if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
    if (!S_ISLNK(st.st_mode)) {
        if (ReadOnly(st)) return ERROR_ACCESS_DENIED;
        if (RunningImage(st)) return ERROR_ACCESS_DENIED;
        int fd = OpenForLocks(native);
        if (fd >= 0) {
            bool refused = Lock::HeldElsewhere(fd, kMarks + kRights + kDelete);
            close(fd);
            if (refused) return ERROR_SHARING_VIOLATION;
        }
    }
    if (unlink(native.c_str()) != 0) return platform::ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

bool DriveTop(const std::string& native) {
    std::string windows;
    return platform::ToWindowsPath(native, windows) == ERROR_SUCCESS && windows.size() == 3;
}

DWORD RemoveFolder(LPCSTR name) {
    std::string native;
    if (DWORD err = NativeName(name, native)) return err;
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) return errno == ENOENT ? Missing(native) : platform::ErrorFromErrno(errno);
    if (!S_ISDIR(st.st_mode)) return ERROR_DIRECTORY;
    if (DriveTop(native)) return ERROR_ACCESS_DENIED;  // a drive's top folder is the drive itself
    if (rmdir(native.c_str()) != 0) return errno == EEXIST ? ERROR_DIR_NOT_EMPTY : platform::ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

DWORD MakeFolder(LPCSTR name) {
    std::string native;
    if (DWORD err = NativeName(name, native)) return err;
    if (mkdir(native.c_str(), 0777) != 0) return errno == ENOENT ? ERROR_PATH_NOT_FOUND : platform::ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

DWORD Attributes(LPCSTR name, DWORD& attributes) {
    std::string native;
    if (DWORD err = NativeName(name, native)) return err;
    struct stat st;
    if (stat(native.c_str(), &st) != 0) return errno == ENOENT ? Missing(native) : platform::ErrorFromErrno(errno);
    attributes = 0;
    if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (ReadOnly(st)) attributes |= FILE_ATTRIBUTE_READONLY;
    if (!attributes) attributes = FILE_ATTRIBUTE_NORMAL;
    return ERROR_SUCCESS;
}

DWORD SetAttributes(LPCSTR name, DWORD attributes) {
    std::string native;
    if (DWORD err = NativeName(name, native)) return err;
    struct stat st;
    if (stat(native.c_str(), &st) != 0) return errno == ENOENT ? Missing(native) : platform::ErrorFromErrno(errno);
    if (S_ISDIR(st.st_mode)) return ERROR_SUCCESS;  // Windows keeps no read-only state for folders
    mode_t mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (st.st_mode & ~0222) : (st.st_mode | S_IWUSR);
    if (chmod(native.c_str(), mode & 07777) != 0) return platform::ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

// TMP, then TEMP (Windows' order), then TMPDIR and /tmp; Linux paths are given their Windows form.
DWORD TempPath(std::string& path) {
    const char* chosen = nullptr;
    for (const char* name : {"TMP", "TEMP", "TMPDIR"})
        if (const char* v = getenv(name); v && *v) {
            chosen = v;
            break;
        }
    std::string value = chosen ? chosen : "/tmp";
    bool windows = value.find('\\') != std::string::npos || (value.size() >= 2 && value[1] == ':');
    if (windows) path = value;
    else if (DWORD err = platform::ToWindowsPath(value, path)) return err;
    if (path.back() != '\\') path += '\\';
    return ERROR_SUCCESS;
}

// Copies `text` as the Windows string functions do: the length on success, the size needed otherwise.
DWORD CopyOut(const std::string& text, DWORD size, LPSTR buffer) {
    if (!buffer || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
    memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

template <class F>
bool Succeeded(F&& body) {
    DWORD err;
    try {
        err = body();
    } catch (...) {
        err = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (err) SetLastError(err);
    return !err;
}

}  // namespace

DWORD NativeName(LPCSTR path, std::string& native) {
    if (!path || !*path) return ERROR_PATH_NOT_FOUND;
    std::string mapped;
    if (DWORD err = platform::ToNativePath(path, mapped)) return err;
    if (Exists(mapped)) {
        native = mapped;
        return ERROR_SUCCESS;
    }
    // Walk the components, taking a differently cased name where the written one is missing.
    std::string built = mapped[0] == '/' ? "" : ".";
    size_t at = mapped[0] == '/' ? 1 : 0;
    while (at <= mapped.size()) {
        size_t slash = mapped.find('/', at);
        if (slash == std::string::npos) slash = mapped.size();
        std::string part = mapped.substr(at, slash - at);
        at = slash + 1;
        if (part.empty()) continue;
        std::string next = built + "/" + part;
        if (!Exists(next)) {
            if (DIR* d = opendir(built.empty() ? "/" : built.c_str())) {
                while (dirent* e = readdir(d))
                    if (SameName(e->d_name, part.c_str())) {
                        next = built + "/" + e->d_name;
                        break;
                    }
                closedir(d);
            }
        }
        built = next;
    }
    native = mapped[0] == '/' ? built : built.substr(2);
    if (mapped.size() > 1 && mapped.back() == '/') native += '/';
    return ERROR_SUCCESS;
}

}  // namespace kernel32

using kernel32::Succeeded;

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD flagsAndAttributes, HANDLE templateFile) {
    HANDLE result = INVALID_HANDLE_VALUE;
    bool existed = false;
    if (templateFile) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return INVALID_HANDLE_VALUE;
    }
    if (!Succeeded([&] {
            return kernel32::Create(fileName, access, shareMode, disposition, flagsAndAttributes, result, existed);
        }))
        return INVALID_HANDLE_VALUE;
    bool reportsExisting = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    SetLastError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return result;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped) {
    return Succeeded([&]() -> DWORD {
        if (overlapped) return ERROR_CALL_NOT_IMPLEMENTED;
        auto f = std::dynamic_pointer_cast<kernel32::File>(kernel32::LookUpHandle(file));
        if (!f) return ERROR_INVALID_HANDLE;
        if (!written) return ERROR_INVALID_PARAMETER;
        *written = 0;
        if (!buffer && toWrite) return ERROR_NOACCESS;
        return f->Write(static_cast<const BYTE*>(buffer), toWrite, *written);
    });
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
    return Succeeded([&]() -> DWORD {
        if (overlapped) return ERROR_CALL_NOT_IMPLEMENTED;
        auto f = std::dynamic_pointer_cast<kernel32::File>(kernel32::LookUpHandle(file));
        if (!f) return ERROR_INVALID_HANDLE;
        if (!read) return ERROR_INVALID_PARAMETER;
        *read = 0;
        if (!buffer && toRead) return ERROR_NOACCESS;
        return f->Read(static_cast<BYTE*>(buffer), toRead, *read);
    });
}

BOOL WINAPI DeleteFileA(LPCSTR fileName) { return Succeeded([&] { return kernel32::Delete(fileName); }); }

BOOL WINAPI CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES) {
    return Succeeded([&] { return kernel32::MakeFolder(pathName); });
}

BOOL WINAPI RemoveDirectoryA(LPCSTR pathName) { return Succeeded([&] { return kernel32::RemoveFolder(pathName); }); }

DWORD WINAPI GetFileAttributesA(LPCSTR fileName) {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    return Succeeded([&] { return kernel32::Attributes(fileName, attributes); }) ? attributes : INVALID_FILE_ATTRIBUTES;
}

BOOL WINAPI SetFileAttributesA(LPCSTR fileName, DWORD attributes) {
    return Succeeded([&] { return kernel32::SetAttributes(fileName, attributes); });
}

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
    std::string path;
    DWORD result = 0;
    if (!Succeeded([&] { return kernel32::TempPath(path); })) return 0;
    result = kernel32::CopyOut(path, size, buffer);
    return result;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    std::string path;
    char cwd[PATH_MAX];
    if (!Succeeded([&]() -> DWORD {
            if (!getcwd(cwd, sizeof cwd)) return platform::ErrorFromErrno(errno);
            return platform::ToWindowsPath(cwd, path);
        }))
        return 0;
    return kernel32::CopyOut(path, size, buffer);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR pathName) {
    return Succeeded([&]() -> DWORD {
        std::string native;
        if (DWORD err = kernel32::NativeName(pathName, native)) return err;
        struct stat st;
        if (stat(native.c_str(), &st) != 0) return errno == ENOENT ? kernel32::Missing(native) : platform::ErrorFromErrno(errno);
        if (!S_ISDIR(st.st_mode)) return ERROR_DIRECTORY;
        if (chdir(native.c_str()) != 0) return platform::ErrorFromErrno(errno);
        return ERROR_SUCCESS;
    });
}
