// The registry file: a text file in the form of an exported .reg file, read
// whole and replaced whole. Writers take a lock on a file beside it.
#include "store.h"

#include <platform/cp1252.h>
#include <platform/paths.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace advapi32 {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";

const char kHex[] = "0123456789abcdef";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A value name or string datum between double quotes.
std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '\\' || c == '"') out += '\\', out += static_cast<char>(c);
        else if (c < 0x20) out += "\\x", out += kHex[c >> 4], out += kHex[c & 15];
        else out += static_cast<char>(c);
    }
    return out + "\"";
}

// A key name inside [..]: backslash separates, so bytes below 0x20 and '%' are written %HH.
std::string KeyText(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x20 || c == '%') out += '%', out += kHex[c >> 4], out += kHex[c & 15];
        else out += static_cast<char>(c);
    }
    return out;
}

bool UnKeyText(const std::string& s, std::string& out) {
    out.clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size() || HexValue(s[i + 1]) < 0 || HexValue(s[i + 2]) < 0) return false;
        out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
        i += 2;
    }
    return true;
}

// Reads a quoted text starting at s[at] == '"'; `at` ends after the closing quote.
bool UnQuote(const std::string& s, size_t& at, std::string& out) {
    out.clear();
    if (at >= s.size() || s[at] != '"') return false;
    for (++at; at < s.size(); ++at) {
        char c = s[at];
        if (c == '"') {
            ++at;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++at >= s.size()) return false;
        if (s[at] == '\\' || s[at] == '"') {
            out += s[at];
        } else if (s[at] == 'x' && at + 2 < s.size() && HexValue(s[at + 1]) >= 0 && HexValue(s[at + 2]) >= 0) {
            out += static_cast<char>(HexValue(s[at + 1]) * 16 + HexValue(s[at + 2]));
            at += 2;
        } else {
            return false;
        }
    }
    return false;
}

std::string ValueText(const Value& v) {
    std::string out = v.name.empty() ? "@" : Quoted(v.name);
    out += '=';
    const auto& d = v.data;
    bool plainText = v.type == REG_SZ && !d.empty() && d.back() == 0 &&
                     std::find(d.begin(), d.end() - 1, 0) == d.end() - 1;
    if (plainText) return out + Quoted(std::string(d.begin(), d.end() - 1));
    if (v.type == REG_DWORD && d.size() == 4) {
        char buffer[16];
        DWORD n = d[0] | d[1] << 8 | d[2] << 16 | static_cast<DWORD>(d[3]) << 24;
        snprintf(buffer, sizeof buffer, "dword:%08x", n);
        return out + buffer;
    }
    if (v.type == REG_BINARY) {
        out += "hex:";
    } else {
        char buffer[24];
        snprintf(buffer, sizeof buffer, "hex(%x):", v.type);
        out += buffer;
    }
    for (size_t i = 0; i < d.size(); ++i) {
        if (i) out += ',';
        out += kHex[d[i] >> 4], out += kHex[d[i] & 15];
    }
    return out;
}

DWORD ParseValue(const std::string& line, Key& key) {
    Value v;
    size_t at = 0;
    if (line[0] == '@') {
        at = 1;
    } else if (!UnQuote(line, at, v.name)) {
        return ERROR_BADDB;
    }
    if (at >= line.size() || line[at] != '=') return ERROR_BADDB;
    std::string data = line.substr(at + 1);
    if (!data.empty() && data[0] == '"') {
        size_t p = 0;
        std::string text;
        if (!UnQuote(data, p, text) || p != data.size()) return ERROR_BADDB;
        v.type = REG_SZ;
        v.data.assign(text.begin(), text.end());
        v.data.push_back(0);
    } else if (data.rfind("dword:", 0) == 0) {
        if (data.size() != 14) return ERROR_BADDB;
        DWORD n = 0;
        for (size_t i = 6; i < 14; ++i) {
            if (HexValue(data[i]) < 0) return ERROR_BADDB;
            n = n << 4 | static_cast<DWORD>(HexValue(data[i]));
        }
        v.type = REG_DWORD;
        v.data = {static_cast<BYTE>(n), static_cast<BYTE>(n >> 8), static_cast<BYTE>(n >> 16), static_cast<BYTE>(n >> 24)};
    } else if (data.rfind("hex", 0) == 0) {
        size_t p = 3;
        v.type = REG_BINARY;
        if (p < data.size() && data[p] == '(') {
            size_t close = data.find(')', p);
            if (close == std::string::npos || close == p + 1 || close > p + 9) return ERROR_BADDB;
            DWORD t = 0;
            for (size_t i = p + 1; i < close; ++i) {
                if (HexValue(data[i]) < 0) return ERROR_BADDB;
                t = t << 4 | static_cast<DWORD>(HexValue(data[i]));
            }
            v.type = t;
            p = close + 1;
        }
        if (p >= data.size() || data[p] != ':') return ERROR_BADDB;
        for (++p; p < data.size();) {
            if (p + 1 >= data.size() || HexValue(data[p]) < 0 || HexValue(data[p + 1]) < 0) return ERROR_BADDB;
            v.data.push_back(static_cast<BYTE>(HexValue(data[p]) * 16 + HexValue(data[p + 1])));
            p += 2;
            if (p < data.size() && data[p++] != ',') return ERROR_BADDB;
            if (p == data.size() && data.back() == ',') return ERROR_BADDB;
        }
    } else {
        return ERROR_BADDB;
    }
    if (key.FindValue(v.name)) return ERROR_BADDB;
    key.values.push_back(std::move(v));
    return ERROR_SUCCESS;
}

// A key without values is written only where no subkey's line names it already.
void FormatKey(const Key& key, const std::string& path, bool isRoot, std::string& out) {
    if (!key.values.empty() || (!isRoot && key.subkeys.empty())) {
        out += "\n[" + path + "]\n";
        for (const Value& v : key.values) out += ValueText(v) + "\n";
    }
    for (const auto& sub : key.subkeys) FormatKey(*sub, path + "\\" + KeyText(sub->name), false, out);
}

DWORD ErrorOf(int error) { return platform::ErrorFromErrno(error); }

class LockFile {
  public:
    explicit LockFile(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            error_ = ErrorOf(errno);
            return;
        }
        while (flock(fd_, LOCK_EX) != 0)
            if (errno != EINTR) {
                error_ = ErrorOf(errno);
                return;
            }
    }
    ~LockFile() {
        if (fd_ >= 0) close(fd_);  // closing releases the lock
    }
    DWORD Error() const { return error_; }

  private:
    int fd_ = -1;
    DWORD error_ = ERROR_SUCCESS;
};

}  // namespace

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (platform::cp1252::ToUpper(static_cast<unsigned char>(a[i])) !=
            platform::cp1252::ToUpper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

Key* Key::Subkey(const std::string& n) const {
    for (const auto& k : subkeys)
        if (SameName(k->name, n)) return k.get();
    return nullptr;
}

Value* Key::FindValue(const std::string& n) {
    for (Value& v : values)
        if (SameName(v.name, n)) return &v;
    return nullptr;
}

Key* Find(Registry& registry, const KeyPath& path) {
    if (path.root >= kRootCount) return nullptr;
    Key* key = &registry.roots[path.root];
    for (const std::string& n : path.names)
        if (!(key = key->Subkey(n))) return nullptr;
    return key;
}

std::string Format(const Registry& registry) {
    std::string out = kHeader;
    out += "\n";
    for (size_t r = 0; r < kRootCount; ++r) FormatKey(registry.roots[r], kRootNames[r], true, out);
    return out;
}

DWORD Parse(const std::string& text, Registry& registry) {
    size_t at = 0;
    bool first = true;
    Key* current = nullptr;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (first) {
            if (line != kHeader) return ERROR_BADDB;
            first = false;
            continue;
        }
        if (line.empty()) continue;
        if (line[0] == '[') {
            if (line.back() != ']') return ERROR_BADDB;
            std::string path = line.substr(1, line.size() - 2);
            size_t slash = path.find('\\');
            std::string root = path.substr(0, slash);
            current = nullptr;
            for (size_t r = 0; r < kRootCount; ++r)
                if (root == kRootNames[r]) current = &registry.roots[r];
            if (!current) return ERROR_BADDB;
            while (slash != std::string::npos) {
                size_t next = path.find('\\', slash + 1);
                std::string name;
                if (!UnKeyText(path.substr(slash + 1, next == std::string::npos ? std::string::npos : next - slash - 1), name) ||
                    name.empty())
                    return ERROR_BADDB;
                Key* sub = current->Subkey(name);
                if (!sub) {
                    current->subkeys.push_back(std::make_unique<Key>());
                    sub = current->subkeys.back().get();
                    sub->name = name;
                }
                current = sub;
                slash = next;
            }
            continue;
        }
        if (!current) return ERROR_BADDB;
        if (DWORD err = ParseValue(line, *current)) return err;
    }
    return first && !text.empty() ? ERROR_BADDB : ERROR_SUCCESS;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

DWORD ReplaceFile(const std::string& file, const std::string& text, const Writer& write) {
    // One writer at a time holds the lock, so one fixed name serves; a crashed writer's leftover is truncated.
    std::string fresh = file + ".new";
    int fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return ErrorOf(errno);
    bool ok = write(fd, text.data(), text.size());
    int error = errno;
    if (ok && fsync(fd) != 0) ok = false, error = errno;
    close(fd);
    if (ok && rename(fresh.c_str(), file.c_str()) != 0) ok = false, error = errno;
    if (!ok) {
        unlink(fresh.c_str());
        return error ? ErrorOf(error) : ERROR_CANTWRITE;
    }
    std::string folder = file.substr(0, file.find_last_of('/') + 1);
    int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);  // the rename itself reaches the disk
        close(dir);
    }
    return ERROR_SUCCESS;
}

DWORD RegistryFile(std::string& path) {
    std::string dir;
    if (DWORD err = platform::UserDirectory(dir)) return err;
    path = dir + "/registry";
    return ERROR_SUCCESS;
}

DWORD Load(Registry& registry) {
    try {
        std::string path;
        if (DWORD err = RegistryFile(path)) return err;
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return errno == ENOENT ? ERROR_SUCCESS : ErrorOf(errno);
        std::string text;
        char buffer[65536];
        for (;;) {
            ssize_t n = read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                int error = errno;
                close(fd);
                return ErrorOf(error);
            }
            if (n == 0) break;
            text.append(buffer, static_cast<size_t>(n));
        }
        close(fd);
        return Parse(text, registry);
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

DWORD Update(const std::function<DWORD(Registry&)>& change) {
    try {
        std::string path;
        if (DWORD err = RegistryFile(path)) return err;
        LockFile lock(path + ".lock");
        if (DWORD err = lock.Error()) return err;
        Registry registry;
        if (DWORD err = Load(registry)) return err;
        if (DWORD err = change(registry)) return err;
        return ReplaceFile(path, Format(registry));
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

}  // namespace advapi32
