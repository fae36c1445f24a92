// The registry functions. A key handle names a key by its path and carries the
// access it was opened with; every call reads the registry file afresh, so
// other processes' changes are seen at once, and a key deleted meanwhile gives
// ERROR_KEY_DELETED. The registry functions return their error; they leave the
// last error alone, as Windows' do.
#include "store.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace advapi32 {
namespace {

constexpr DWORD kMaximumAllowed = 0x02000000;
constexpr DWORD kGenericAll = 0x10000000;
constexpr DWORD kGenericExecute = 0x20000000;
constexpr size_t kMaxKeyName = 255;

struct OpenKey {
    KeyPath path;
    REGSAM access = 0;
};

struct Handles {
    std::mutex lock;
    std::map<uintptr_t, OpenKey> keys;
    uintptr_t next = 0x1000;
};
Handles& handles() {
    static Handles* h = new Handles;
    return *h;
}

REGSAM GrantedAccess(REGSAM desired) {
    REGSAM access = desired & ~static_cast<REGSAM>(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    if (access & (kMaximumAllowed | kGenericAll)) access |= KEY_ALL_ACCESS;
    if (access & (GENERIC_READ | kGenericExecute)) access |= KEY_READ;
    if (access & GENERIC_WRITE) access |= KEY_WRITE;
    return access & (KEY_ALL_ACCESS | WRITE_DAC | WRITE_OWNER | SYNCHRONIZE);
}

DWORD Resolve(HKEY key, OpenKey& out) {
    auto value = reinterpret_cast<uintptr_t>(key);
    for (size_t r = 0; r < kRootCount; ++r)
        if (value == static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<LONG>(0x80000000u + r)))) {
            out.path = {r, {}};
            out.access = KEY_ALL_ACCESS;
            return ERROR_SUCCESS;
        }
    std::lock_guard guard(handles().lock);
    auto it = handles().keys.find(value);
    if (it == handles().keys.end()) return ERROR_INVALID_HANDLE;
    out = it->second;
    return ERROR_SUCCESS;
}

bool IsRoot(const OpenKey& key) { return key.path.names.empty(); }

// The names of a subkey path; a leading backslash is refused as Windows refuses it.
DWORD SplitSubKey(LPCSTR subKey, std::vector<std::string>& names) {
    if (!subKey) return ERROR_SUCCESS;
    if (subKey[0] == '\\') return ERROR_BAD_PATHNAME;
    std::string all = subKey;
    for (size_t i = 0; i <= all.size();) {
        size_t slash = all.find('\\', i);
        if (slash == std::string::npos) slash = all.size();
        if (slash > i) {
            if (slash - i > kMaxKeyName) return ERROR_INVALID_PARAMETER;
            names.push_back(all.substr(i, slash - i));
        }
        i = slash + 1;
    }
    return ERROR_SUCCESS;
}

DWORD AddHandle(const OpenKey& key, HKEY& result) {
    std::lock_guard guard(handles().lock);
    uintptr_t value = handles().next;
    handles().next += 4;
    handles().keys.emplace(value, key);
    result = reinterpret_cast<HKEY>(value);
    return ERROR_SUCCESS;
}

// The key a handle names, in a registry just read; roots always exist.
DWORD KeyOf(Registry& registry, const OpenKey& open, Key*& key) {
    key = Find(registry, open.path);
    return key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

bool Before(const std::string& a, const std::string& b) {
    std::string ua = a, ub = b;
    for (char& c : ua) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    for (char& c : ub) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return ua < ub;
}

// The catch-all every export ends in: nothing may escape across the API.
template <class F>
LONG Guarded(F&& body) {
    try {
        return static_cast<LONG>(body());
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// Copies a name into a caller's buffer counted in characters with its zero.
DWORD CopyName(const std::string& name, LPSTR buffer, LPDWORD size) {
    if (!size || !buffer) return ERROR_INVALID_PARAMETER;
    if (*size < name.size() + 1) return ERROR_MORE_DATA;
    memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// The data part shared by RegQueryValueExA and RegEnumValueA.
DWORD CopyData(const Value& v, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (type) *type = v.type;
    if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    DWORD needed = static_cast<DWORD>(v.data.size());
    if (data) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (needed) memcpy(data, v.data.data(), needed);
    }
    *size = needed;
    return ERROR_SUCCESS;
}

}  // namespace
}  // namespace advapi32

using namespace advapi32;

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM desired, PHKEY result) {
    return Guarded([&]() -> DWORD {
        if (!result) return ERROR_INVALID_PARAMETER;
        *result = nullptr;
        OpenKey base;
        std::vector<std::string> names;
        if (DWORD err = Resolve(key, base)) return err;
        if (DWORD err = SplitSubKey(subKey, names)) return err;
        Registry registry;
        Key* k = nullptr;
        if (DWORD err = Load(registry)) return err;
        if (DWORD err = KeyOf(registry, base, k)) return err;
        OpenKey opened{base.path, GrantedAccess(desired)};
        for (const std::string& n : names) {
            if (!(k = k->Subkey(n))) return ERROR_FILE_NOT_FOUND;
            opened.path.names.push_back(k->name);
        }
        return AddHandle(opened, *result);
    });
}

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD options, REGSAM desired,
                            LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    return Guarded([&]() -> DWORD {
        if (!result) return ERROR_INVALID_PARAMETER;
        *result = nullptr;
        if (!subKey) return ERROR_BADKEY;
        if (options & REG_OPTION_VOLATILE) return ERROR_CALL_NOT_IMPLEMENTED;  // every key here is kept on disk
        OpenKey base;
        std::vector<std::string> names;
        if (DWORD err = Resolve(key, base)) return err;
        if (DWORD err = SplitSubKey(subKey, names)) return err;
        bool created = false;
        OpenKey opened{base.path, GrantedAccess(desired)};
        DWORD err = Update([&](Registry& registry) -> DWORD {
            Key* k = nullptr;
            if (DWORD e = KeyOf(registry, base, k)) return e;
            opened.path = base.path;
            for (const std::string& n : names) {
                Key* sub = k->Subkey(n);
                if (!sub) {
                    if (!(base.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
                    auto at = std::lower_bound(k->subkeys.begin(), k->subkeys.end(), n,
                                               [](const std::unique_ptr<Key>& a, const std::string& b) {
                                                   return Before(a->name, b);
                                               });
                    sub = k->subkeys.insert(at, std::make_unique<Key>())->get();
                    sub->name = n;
                    created = true;
                }
                opened.path.names.push_back(sub->name);
                k = sub;
            }
            return ERROR_SUCCESS;
        });
        if (err) return err;
        if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return AddHandle(opened, *result);
    });
}

LONG WINAPI RegCloseKey(HKEY key) {
    return Guarded([&]() -> DWORD {
        OpenKey open;
        if (DWORD err = Resolve(key, open)) return err;
        if (IsRoot(open)) return ERROR_SUCCESS;
        std::lock_guard guard(handles().lock);
        handles().keys.erase(reinterpret_cast<uintptr_t>(key));
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    return Guarded([&]() -> DWORD {
        OpenKey base;
        std::vector<std::string> names;
        if (DWORD err = Resolve(key, base)) return err;
        if (!subKey) return ERROR_INVALID_PARAMETER;
        if (DWORD err = SplitSubKey(subKey, names)) return err;
        if (names.empty()) {
            // The key the handle names: the handle must carry the right to delete it, and roots stay.
            if (IsRoot(base) || !(base.access & DELETE)) return ERROR_ACCESS_DENIED;
        }
        return Update([&](Registry& registry) -> DWORD {
            Key* parent = nullptr;
            if (DWORD e = KeyOf(registry, base, parent)) return e;
            std::vector<std::string> path = names;
            if (path.empty()) {
                path = {base.path.names.back()};
                KeyPath above{base.path.root, {base.path.names.begin(), base.path.names.end() - 1}};
                parent = Find(registry, above);
                if (!parent) return ERROR_KEY_DELETED;
            }
            for (size_t i = 0; i + 1 < path.size(); ++i)
                if (!(parent = parent->Subkey(path[i]))) return ERROR_FILE_NOT_FOUND;
            auto it = std::find_if(parent->subkeys.begin(), parent->subkeys.end(),
                                   [&](const std::unique_ptr<Key>& k) { return SameName(k->name, path.back()); });
            if (it == parent->subkeys.end()) return ERROR_FILE_NOT_FOUND;
            if (!(*it)->subkeys.empty()) return ERROR_ACCESS_DENIED;  // Windows deletes only keys without subkeys
            parent->subkeys.erase(it);
            return ERROR_SUCCESS;
        });
    });
}

LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
    return Guarded([&]() -> DWORD {
        OpenKey open;
        if (DWORD err = Resolve(key, open)) return err;
        if (!(open.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        std::string name = valueName ? valueName : "";
        return Update([&](Registry& registry) -> DWORD {
            Key* k = nullptr;
            if (DWORD e = KeyOf(registry, open, k)) return e;
            auto it = std::find_if(k->values.begin(), k->values.end(),
                                   [&](const Value& v) { return SameName(v.name, name); });
            if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
            k->values.erase(it);
            return ERROR_SUCCESS;
        });
    });
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
    return Guarded([&]() -> DWORD {
        OpenKey open;
        if (DWORD err = Resolve(key, open)) return err;
        if (!(open.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        if (!data && size) return ERROR_NOACCESS;
        Value value;
        value.name = valueName ? valueName : "";
        value.type = type;
        if (size) value.data.assign(data, data + size);
        return Update([&](Registry& registry) -> DWORD {
            Key* k = nullptr;
            if (DWORD e = KeyOf(registry, open, k)) return e;
            if (Value* old = k->FindValue(value.name)) {
                old->type = value.type;
                old->data = value.data;
            } else {
                k->values.push_back(value);
            }
            return ERROR_SUCCESS;
        });
    });
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    return Guarded([&]() -> DWORD {
        OpenKey open;
        if (DWORD err = Resolve(key, open)) return err;
        if (!(open.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        if (data && !size) return ERROR_INVALID_PARAMETER;
        Registry registry;
        Key* k = nullptr;
        if (DWORD err = Load(registry)) return err;
        if (DWORD err = KeyOf(registry, open, k)) return err;
        Value* v = k->FindValue(valueName ? valueName : "");
        if (!v) return ERROR_FILE_NOT_FOUND;
        return CopyData(*v, type, data, size);
    });
}

LONG WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR keyClass,
                          LPDWORD classSize, PFILETIME lastWriteTime) {
    return Guarded([&]() -> DWORD {
        OpenKey open;
        if (DWORD err = Resolve(key, open)) return err;
        if (!(open.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
        Registry registry;
        Key* k = nullptr;
        if (DWORD err = Load(registry)) return err;
        if (DWORD err = KeyOf(registry, open, k)) return err;
        if (index >= k->subkeys.size()) return ERROR_NO_MORE_ITEMS;
        if (DWORD err = CopyName(k->subkeys[index]->name, name, nameSize)) return err;
        if (classSize) {
            if (keyClass && *classSize) keyClass[0] = 0;
            *classSize = 0;
        }
        if (lastWriteTime) *lastWriteTime = FILETIME{};
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPDWORD type, LPBYTE data,
                          LPDWORD dataSize) {
    return Guarded([&]() -> DWORD {
        OpenKey open;
        if (DWORD err = Resolve(key, open)) return err;
        if (!(open.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        Registry registry;
        Key* k = nullptr;
        if (DWORD err = Load(registry)) return err;
        if (DWORD err = KeyOf(registry, open, k)) return err;
        if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
        if (DWORD err = CopyName(k->values[index].name, name, nameSize)) return err;
        return CopyData(k->values[index], type, data, dataSize);
    });
}
