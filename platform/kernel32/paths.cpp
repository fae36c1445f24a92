// The per-user folder, the drive table and the mapping between Windows and Linux paths.
#include <platform/paths.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <vector>

namespace platform {
namespace {

DWORD UserDirectoryPath(std::string& path) {
    const char* dir = getenv("PLATFORM_USER_DIR");
    if (dir && *dir) {
        path = dir;
        return ERROR_SUCCESS;
    }
    const char* home = getenv("HOME");
    std::string base;
    if (home && *home) {
        base = home;
    } else {
        struct passwd pw, *found = nullptr;
        char buffer[4096];
        if (getpwuid_r(getuid(), &pw, buffer, sizeof buffer, &found) != 0 || !found) return ERROR_PATH_NOT_FOUND;
        base = found->pw_dir;
    }
    path = base + "/.brevanto-platform";
    return ERROR_SUCCESS;
}

using DriveTable = std::map<char, std::string>;

// Read on every use: the table is small and a test or the user may change it at any time.
DriveTable Drives() {
    DriveTable drives;
    std::string dir;
    if (UserDirectoryPath(dir) == ERROR_SUCCESS) {
        std::ifstream in(dir + "/drives");
        std::string line;
        while (std::getline(in, line)) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
            size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos) continue;
            line.erase(0, start);
            if (line[0] == '#' || line[0] == ';') continue;
            // X=/folder; anything else is not a drive line and is passed over.
            if (line.size() < 3 || !isalpha(static_cast<unsigned char>(line[0])) || line[1] != '=' || line[2] != '/')
                continue;
            std::string folder = line.substr(2);
            while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
            drives[static_cast<char>(toupper(static_cast<unsigned char>(line[0])))] = folder;
        }
    }
    drives.emplace('Z', "/");
    return drives;
}

// Resolves "." and ".." and repeated separators; ".." at the top stays at the top.
std::string Normalise(const std::string& path) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= path.size()) {
        size_t slash = path.find('/', i);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(i, slash - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = slash + 1;
    }
    std::string out;
    for (const std::string& p : parts) out += "/" + p;
    return out;
}

bool ForbiddenInWindowsName(char c) {
    return static_cast<unsigned char>(c) < 32 || c == '<' || c == '>' || c == '"' || c == '|' || c == ':';
}

std::string Join(const std::string& folder, const std::string& normalised) {
    if (normalised.empty()) return folder;
    return folder == "/" ? normalised : folder + normalised;
}

}  // namespace

DWORD UserDirectory(std::string& path) {
    try {
        std::string dir;
        if (DWORD err = UserDirectoryPath(dir)) return err;
        // Make each missing component; only the last is private to the user.
        for (size_t i = 1; i <= dir.size(); ++i) {
            if (i < dir.size() && dir[i] != '/') continue;
            std::string part = dir.substr(0, i);
            if (mkdir(part.c_str(), i == dir.size() ? 0700 : 0755) != 0 && errno != EEXIST) return ErrorFromErrno(errno);
        }
        struct stat st;
        if (stat(dir.c_str(), &st) != 0) return ErrorFromErrno(errno);
        if (!S_ISDIR(st.st_mode)) return ERROR_DIRECTORY;
        path = dir;
        return ERROR_SUCCESS;
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

DWORD ToNativePath(std::string_view input, std::string& native) {
    try {
        if (input.empty()) return ERROR_PATH_NOT_FOUND;
        if (input.find('\0') != std::string_view::npos) return ERROR_INVALID_NAME;
        std::string path(input);
        bool drive = path.size() >= 2 && isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
        if (!drive && path.find('\\') == std::string::npos) {
            if (path.size() >= PATH_MAX) return ERROR_FILENAME_EXCED_RANGE;
            native = path;  // a Linux path already
            return ERROR_SUCCESS;
        }
        if (path.rfind("\\\\?\\", 0) == 0) {
            path.erase(0, 4);
            drive = path.size() >= 2 && isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
            if (!drive) return ERROR_BAD_PATHNAME;
        } else if (path.rfind("\\\\", 0) == 0) {
            return ERROR_BAD_PATHNAME;  // UNC shares and devices have no place here
        } else if (path.size() >= MAX_PATH) {
            return ERROR_FILENAME_EXCED_RANGE;
        }
        for (char& c : path)
            if (c == '\\') c = '/';
        std::string rest = drive ? path.substr(2) : path;
        for (char c : rest)
            if (ForbiddenInWindowsName(c)) return ERROR_INVALID_NAME;
        bool trailing = rest.size() > 1 && rest.back() == '/';
        DriveTable drives = Drives();
        std::string folder;
        if (drive) {
            auto it = drives.find(static_cast<char>(toupper(static_cast<unsigned char>(path[0]))));
            if (it == drives.end()) return ERROR_INVALID_DRIVE;
            folder = it->second;  // a drive-relative "C:x" starts at the drive's top, as in a fresh process
        } else if (rest[0] == '/') {
            // The top of the current drive.
            char cwd[PATH_MAX];
            std::string current;
            if (!getcwd(cwd, sizeof cwd) || ToWindowsPath(cwd, current) != ERROR_SUCCESS) return ERROR_PATH_NOT_FOUND;
            folder = drives[current[0]];
        } else {
            native = rest;  // relative: the current folder resolves it
            return ERROR_SUCCESS;
        }
        native = Join(folder, Normalise(rest));
        if (trailing && native != "/") native += '/';
        if (native.size() >= PATH_MAX) return ERROR_FILENAME_EXCED_RANGE;
        return ERROR_SUCCESS;
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

DWORD ToWindowsPath(std::string_view input, std::string& windows) {
    try {
        if (input.empty()) return ERROR_PATH_NOT_FOUND;
        std::string path(input);
        if (path[0] != '/') {
            char cwd[PATH_MAX];
            if (!getcwd(cwd, sizeof cwd)) return ErrorFromErrno(errno);
            path = std::string(cwd) + "/" + path;
        }
        path = Normalise(path);
        char letter = 0;
        size_t best = 0;
        for (const auto& [l, folder] : Drives()) {
            size_t length = folder == "/" ? 0 : folder.size();
            bool holds = folder == "/" || path == folder || path.rfind(folder + "/", 0) == 0;
            if (holds && (!letter || length > best)) letter = l, best = length;
        }
        if (!letter) return ERROR_PATH_NOT_FOUND;
        std::string rest = path.substr(best);
        for (char& c : rest)
            if (c == '/') c = '\\';
        windows = std::string(1, letter) + ":" + (rest.empty() ? "\\" : rest);
        return ERROR_SUCCESS;
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

}  // namespace platform
