// The file and folder commands: DEL, RMDIR, MKDIR, CD, TYPE, and the
// wildcard names DEL and IF EXIST take.
#include "cmd.h"

#include <platform/cp1252.h>
#include <platform/paths.h>

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <iostream>

namespace cmd {
namespace {

bool Switch(const Word& w, const char* name) { return !w.quoted && lstrcmpiA(w.text.c_str(), name) == 0; }

bool IsSwitch(const Word& w) { return !w.quoted && w.text.size() >= 2 && w.text[0] == '/'; }

char Lower(char c) { return static_cast<char>(platform::cp1252::ToLower(static_cast<unsigned char>(c))); }

// * and ? as Windows matches names, without regard to case.
bool Matches(const char* pattern, const char* name) {
    for (; *pattern; ++pattern, ++name) {
        if (*pattern == '*') {
            for (const char* rest = name;; ++rest) {
                if (Matches(pattern + 1, rest)) return true;
                if (!*rest) return false;
            }
        }
        if (!*name || (*pattern != '?' && Lower(*pattern) != Lower(*name))) return false;
    }
    return !*name;
}

// The folder part (with its separator) and the name part of a Windows name.
void SplitName(const std::string& name, std::string& folder, std::string& last) {
    size_t cut = name.find_last_of("\\/");
    if (cut == std::string::npos && name.size() >= 2 && name[1] == ':') cut = 1;
    folder = cut == std::string::npos ? "" : name.substr(0, cut + 1);
    last = cut == std::string::npos ? name : name.substr(cut + 1);
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// The names in `folder` matching `pattern`, as Windows names (folder + name).
std::vector<std::string> Expand(const std::string& folder, const std::string& pattern, bool files, bool folders) {
    std::vector<std::string> out;
    std::string native;
    if (platform::ToNativePath(folder.empty() ? "." : folder, native) != ERROR_SUCCESS) return out;
    DIR* d = opendir(native.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..") || !Matches(pattern.c_str(), e->d_name)) continue;
        DWORD a = GetFileAttributesA((folder + e->d_name).c_str());
        bool isFolder = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
        if ((isFolder && folders) || (!isFolder && files)) out.push_back(folder + e->d_name);
    }
    closedir(d);
    return out;
}

bool Confirm(const std::string& question) {
    std::cout << question << " " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::cout << "\n";
        return false;
    }
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

// Deletes one file as DEL does: /F lets it delete read-only files.
void DeleteOne(const std::string& name, bool force) {
    if (DeleteFileA(name.c_str())) return;
    DWORD err = GetLastError();
    if (err == ERROR_ACCESS_DENIED && force) {
        DWORD a = GetFileAttributesA(name.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) &&
            SetFileAttributesA(name.c_str(), a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) {
            if (DeleteFileA(name.c_str())) return;
            err = GetLastError();
        }
    }
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) Error("Could Not Find " + FullPath(name));
    else Error(FullPath(name) + "\n" + ErrorText(err));
}

DWORD RemoveTree(const std::string& name) {
    for (const std::string& f : Expand(name + "\\", "*", true, false))
        if (!DeleteFileA(f.c_str())) return GetLastError();
    for (const std::string& f : Expand(name + "\\", "*", false, true))
        if (DWORD err = RemoveTree(f)) return err;
    return RemoveDirectoryA(name.c_str()) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace

bool Exists(const std::string& name) {
    std::string folder, last;
    SplitName(name, folder, last);
    if (HasWildcard(last)) return !Expand(folder, last, true, true).empty();
    return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int Delete(const std::vector<Word>& args) {
    bool force = false, quiet = false;
    std::vector<std::string> names;
    for (const Word& w : args) {
        if (Switch(w, "/f")) force = true;
        else if (Switch(w, "/q")) quiet = true;
        else if (IsSwitch(w)) {
            Error("Invalid switch - \"" + w.text.substr(1) + "\".");
            return 1;
        } else names.push_back(w.text);
    }
    if (names.empty()) {
        Error("The syntax of the command is incorrect.");
        return 1;
    }
    for (const std::string& name : names) {
        std::string folder, last;
        SplitName(name, folder, last);
        DWORD a = GetFileAttributesA(name.c_str());
        if (!HasWildcard(last) && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
            // A folder stands for every file in it.
            if (!quiet && !Confirm(FullPath(name) + "\\*, Are you sure (Y/N)?")) continue;
            for (const std::string& f : Expand(name + "\\", "*", true, false)) DeleteOne(f, force);
            continue;
        }
        if (!HasWildcard(last)) {
            DeleteOne(name, force);
            continue;
        }
        std::vector<std::string> found = Expand(folder, last, true, false);
        if (found.empty()) Error("Could Not Find " + FullPath(name));
        if (last == "*" || last == "*.*")
            if (!found.empty() && !quiet && !Confirm(FullPath(name) + ", Are you sure (Y/N)?")) continue;
        for (const std::string& f : found) DeleteOne(f, force);
    }
    return 0;  // DEL leaves the error level alone, as cmd.exe's does
}

int RemoveFolder(const std::vector<Word>& args) {
    bool tree = false, quiet = false;
    std::vector<std::string> names;
    for (const Word& w : args) {
        if (Switch(w, "/s")) tree = true;
        else if (Switch(w, "/q")) quiet = true;
        else if (IsSwitch(w)) {
            Error("Invalid switch - \"" + w.text.substr(1) + "\".");
            return 1;
        } else names.push_back(w.text);
    }
    if (names.empty()) {
        Error("The syntax of the command is incorrect.");
        return 1;
    }
    int level = 0;
    for (const std::string& name : names) {
        DWORD err = ERROR_SUCCESS;
        if (tree) {
            if (!quiet && !Confirm(name + ", Are you sure (Y/N)?")) continue;
            DWORD a = GetFileAttributesA(name.c_str());
            if (a == INVALID_FILE_ATTRIBUTES) err = GetLastError();
            else if (!(a & FILE_ATTRIBUTE_DIRECTORY)) err = ERROR_DIRECTORY;
            else err = RemoveTree(name);
        } else if (!RemoveDirectoryA(name.c_str())) {
            err = GetLastError();
        }
        if (err) {
            Error(ErrorText(err));
            level = static_cast<int>(err);
        }
    }
    return level;
}

int MakeFolder(const std::vector<Word>& args) {
    if (args.empty()) {
        Error("The syntax of the command is incorrect.");
        return 1;
    }
    int level = 0;
    for (const Word& w : args) {
        if (GetFileAttributesA(w.text.c_str()) != INVALID_FILE_ATTRIBUTES) {
            Error("A subdirectory or file " + w.text + " already exists.");
            level = 1;
            continue;
        }
        // Every missing folder on the way is made, as cmd.exe's MD does.
        for (size_t at = 0; at != std::string::npos;) {
            at = w.text.find_first_of("\\/", at + 1);
            std::string part = w.text.substr(0, at);
            if (part.size() == 2 && part[1] == ':') continue;
            if (GetFileAttributesA(part.c_str()) == INVALID_FILE_ATTRIBUTES && !CreateDirectoryA(part.c_str(), nullptr)) {
                Error(ErrorText(GetLastError()));
                level = 1;
                break;
            }
        }
    }
    return level;
}

int ChangeFolder(const std::vector<Word>& args) {
    std::vector<std::string> names;
    for (const Word& w : args)
        if (!Switch(w, "/d")) names.push_back(w.text);
    if (names.empty()) {
        char here[MAX_PATH];
        if (GetCurrentDirectoryA(sizeof here, here)) Out(here);
        return 0;
    }
    if (!SetCurrentDirectoryA(names[0].c_str())) {
        Error("The system cannot find the path specified.");
        return 1;
    }
    return 0;
}

int Type(const std::vector<Word>& args) {
    int level = 0;
    for (const Word& w : args) {
        HANDLE f = CreateFileA(w.text.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) {
            Error(ErrorText(GetLastError()));
            level = 1;
            continue;
        }
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(f, buffer, sizeof buffer, &n, nullptr) && n > 0) fwrite(buffer, 1, n, stdout);
        fflush(stdout);
        CloseHandle(f);
    }
    return level;
}

}  // namespace cmd
