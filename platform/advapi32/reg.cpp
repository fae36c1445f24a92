// reg: the registry console tool (ADD, DELETE and QUERY, in reg.exe's syntax
// and words), through the registry functions. It never asks before
// overwriting or deleting, as if /f were always given.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Root {
    const char* shortName;
    const char* longName;
    HKEY key;
};
const Root kRoots[] = {
    {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKU", "HKEY_USERS", HKEY_USERS},
};

const std::pair<const char*, DWORD> kTypes[] = {
    {"REG_SZ", REG_SZ},     {"REG_EXPAND_SZ", REG_EXPAND_SZ}, {"REG_MULTI_SZ", REG_MULTI_SZ},
    {"REG_DWORD", REG_DWORD}, {"REG_QWORD", REG_QWORD},       {"REG_BINARY", REG_BINARY},
    {"REG_NONE", REG_NONE},
};

bool Same(const std::string& a, const char* b) { return lstrcmpiA(a.c_str(), b) == 0; }

int Fail(const char* text) {
    fprintf(stderr, "ERROR: %s\n", text);
    return 1;
}

int Report(LONG err) {
    if (err == ERROR_FILE_NOT_FOUND) return Fail("The system was unable to find the specified registry key or value.");
    if (err == ERROR_ACCESS_DENIED) return Fail("Access is denied.");
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(err), 0,
                   text, sizeof text, nullptr);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return Fail(line.empty() ? "The operation failed." : line.c_str());
}

struct Arguments {
    HKEY root = nullptr;
    std::string rootName, subKey;
    bool value = false, defaultValue = false, allValues = false;
    std::string valueName, type = "REG_SZ", data, separator = "\\0";
};

bool ParseKey(const std::string& full, Arguments& a) {
    size_t slash = full.find('\\');
    std::string root = full.substr(0, slash);
    for (const Root& r : kRoots)
        if (Same(root, r.shortName) || Same(root, r.longName)) {
            a.root = r.key;
            a.rootName = r.longName;
            a.subKey = slash == std::string::npos ? "" : full.substr(slash + 1);
            while (!a.subKey.empty() && a.subKey.back() == '\\') a.subKey.pop_back();
            return true;
        }
    return false;
}

bool ParseSwitches(int argc, char** argv, Arguments& a) {
    if (argc < 3 || !ParseKey(argv[2], a)) return false;
    for (int i = 3; i < argc; ++i) {
        std::string s = argv[i];
        auto next = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        if (Same(s, "/v")) {
            if (!next(a.valueName)) return false;
            a.value = true;
        } else if (Same(s, "/ve")) {
            a.value = a.defaultValue = true;
        } else if (Same(s, "/va")) {
            a.allValues = true;
        } else if (Same(s, "/t")) {
            if (!next(a.type)) return false;
        } else if (Same(s, "/d")) {
            if (!next(a.data)) return false;
        } else if (Same(s, "/s")) {
            if (!next(a.separator)) return false;
        } else if (!Same(s, "/f")) {
            return false;
        }
    }
    return true;
}

bool Encode(const Arguments& a, DWORD& type, std::vector<BYTE>& out) {
    bool known = false;
    for (const auto& [name, value] : kTypes)
        if (Same(a.type, name)) type = value, known = true;
    if (!known) return false;
    switch (type) {
    case REG_DWORD:
    case REG_QWORD: {
        char* end = nullptr;
        unsigned long long n = strtoull(a.data.c_str(), &end, 0);
        if (a.data.empty() || *end || (type == REG_DWORD && n > 0xFFFFFFFFull)) return false;
        for (int i = 0; i < (type == REG_DWORD ? 4 : 8); ++i) out.push_back(static_cast<BYTE>(n >> (8 * i)));
        return true;
    }
    case REG_BINARY:
    case REG_NONE:
        if (a.data.size() % 2) return false;
        for (size_t i = 0; i < a.data.size(); i += 2) {
            char* end = nullptr;
            std::string pair = a.data.substr(i, 2);
            out.push_back(static_cast<BYTE>(strtoul(pair.c_str(), &end, 16)));
            if (*end) return false;
        }
        return true;
    case REG_MULTI_SZ: {
        std::string sep = a.separator == "\\0" ? std::string(1, '\0') : a.separator;
        std::string text = a.data;
        for (size_t at = 0; sep.size() == 1 && sep[0] != 0 && (at = text.find(sep[0], at)) != std::string::npos;)
            text[at] = 0;
        for (size_t at = 0; a.separator == "\\0" && (at = text.find("\\0", at)) != std::string::npos;)
            text.replace(at, 2, 1, '\0');
        out.assign(text.begin(), text.end());
        out.push_back(0);
        out.push_back(0);
        return true;
    }
    default:
        out.assign(a.data.begin(), a.data.end());
        out.push_back(0);
        return true;
    }
}

std::string Show(DWORD type, const std::vector<BYTE>& d) {
    char buffer[32];
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: return std::string(d.begin(), std::find(d.begin(), d.end(), 0));
    case REG_MULTI_SZ: {
        std::string out;
        for (size_t i = 0; i + 1 < d.size(); ++i) out += d[i] ? std::string(1, static_cast<char>(d[i])) : "\\0";
        while (out.size() >= 2 && out.compare(out.size() - 2, 2, "\\0") == 0) out.erase(out.size() - 2);
        return out;
    }
    case REG_DWORD:
    case REG_QWORD: {
        unsigned long long n = 0;
        for (size_t i = d.size(); i-- > 0;) n = n << 8 | d[i];
        snprintf(buffer, sizeof buffer, "0x%llx", n);
        return buffer;
    }
    default: {
        std::string out;
        for (BYTE b : d) snprintf(buffer, sizeof buffer, "%02X", b), out += buffer;
        return out;
    }
    }
}

std::string TypeName(DWORD type) {
    for (const auto& [name, value] : kTypes)
        if (value == type) return name;
    return "REG_" + std::to_string(type);
}

int Add(const Arguments& a) {
    DWORD type = REG_SZ;
    std::vector<BYTE> data;
    if (a.value && !Encode(a, type, data)) return Fail("Invalid syntax.");
    HKEY key = nullptr;
    LONG err = RegCreateKeyExA(a.root, a.subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (err) return Report(err);
    if (a.value)
        err = RegSetValueExA(key, a.defaultValue ? nullptr : a.valueName.c_str(), 0, type, data.data(),
                             static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    if (err) return Report(err);
    puts("The operation completed successfully.");
    return 0;
}

LONG DeleteTree(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    if (LONG err = RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key)) return err;
    for (;;) {
        char sub[256];
        DWORD size = sizeof sub;
        LONG err = RegEnumKeyExA(key, 0, sub, &size, nullptr, nullptr, nullptr, nullptr);
        if (err == ERROR_NO_MORE_ITEMS) break;
        if (!err) err = DeleteTree(key, sub);
        if (err) {
            RegCloseKey(key);
            return err;
        }
    }
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name.c_str());
}

int Delete(const Arguments& a) {
    LONG err;
    if (a.value || a.allValues) {
        HKEY key = nullptr;
        if ((err = RegOpenKeyExA(a.root, a.subKey.c_str(), 0, KEY_ALL_ACCESS, &key))) return Report(err);
        if (a.allValues) {
            char name[16384];
            DWORD size = sizeof name;
            while (!err && RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
                err = RegDeleteValueA(key, name);
                size = sizeof name;
            }
        } else {
            err = RegDeleteValueA(key, a.defaultValue ? nullptr : a.valueName.c_str());
        }
        RegCloseKey(key);
    } else {
        if (a.subKey.empty()) return Fail("Invalid key name.");
        err = DeleteTree(a.root, a.subKey);
    }
    if (err) return Report(err);
    puts("The operation completed successfully.");
    return 0;
}

int Query(const Arguments& a) {
    HKEY key = nullptr;
    if (LONG err = RegOpenKeyExA(a.root, a.subKey.c_str(), 0, KEY_READ, &key)) return Report(err);
    std::string path = a.rootName + (a.subKey.empty() ? "" : "\\" + a.subKey);
    printf("\n%s\n", path.c_str());
    bool found = false;
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameSize = sizeof name, type = 0, size = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &size)) break;
        std::vector<BYTE> data(size);
        nameSize = sizeof name;
        RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data.data(), &size);
        bool wanted = !a.value || (a.defaultValue ? !*name : lstrcmpiA(name, a.valueName.c_str()) == 0);
        if (!wanted) continue;
        found = true;
        printf("    %s    %s    %s\n", *name ? name : "(Default)", TypeName(type).c_str(), Show(type, data).c_str());
    }
    if (!a.value) {
        printf("\n");
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD size = sizeof name;
            if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr)) break;
            printf("%s\\%s\n", path.c_str(), name);
        }
    }
    RegCloseKey(key);
    if (a.value && !found) return Report(ERROR_FILE_NOT_FOUND);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments a;
    if (argc < 2) return Fail("Invalid syntax.\nType \"REG /?\" for usage.");
    std::string operation = argv[1];
    if (!ParseSwitches(argc, argv, a)) return Fail("Invalid syntax.\nType \"REG /?\" for usage.");
    if (Same(operation, "add")) return Add(a);
    if (Same(operation, "delete")) return Delete(a);
    if (Same(operation, "query")) return Query(a);
    return Fail("Invalid syntax.\nType \"REG /?\" for usage.");
}
