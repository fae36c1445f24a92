// The registry's one file: its keys and values in memory, the text form they
// are kept in, and the locked, atomic read-modify-write every change goes through.
#ifndef ADVAPI32_STORE_H
#define ADVAPI32_STORE_H

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace advapi32 {

struct Value {
    std::string name;  // "" is the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::string name;
    std::vector<Value> values;
    std::vector<std::unique_ptr<Key>> subkeys;

    Key* Subkey(const std::string& n) const;
    Value* FindValue(const std::string& n);
};

// The predefined keys, in the order of their handle values (0x80000000 + index).
inline constexpr const char* kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                             "HKEY_USERS"};
inline constexpr size_t kRootCount = 4;

struct Registry {
    Key roots[kRootCount];
};

// A key's place: its root and the names below it, as stored.
struct KeyPath {
    size_t root = 0;
    std::vector<std::string> names;
};

// Registry names compare without regard to case, in the ANSI code page.
bool SameName(const std::string& a, const std::string& b);

// The key at `path`, or null.
Key* Find(Registry& registry, const KeyPath& path);

// The text form of the file; Parse fails with ERROR_BADDB on anything it cannot read.
std::string Format(const Registry& registry);
DWORD Parse(const std::string& text, Registry& registry);

// Writes `text` to `file` through a fresh file in the same folder that then
// replaces it, so the file holds the old or the new text and never a mixture.
// `write` does the writing (tests pass one that stops part way).
using Writer = std::function<bool(int fd, const char* data, size_t size)>;
bool WriteAll(int fd, const char* data, size_t size);
DWORD ReplaceFile(const std::string& file, const std::string& text, const Writer& write = WriteAll);

// The registry file in the per-user folder.
DWORD RegistryFile(std::string& path);

// Reads the registry (a missing file is an empty registry).
DWORD Load(Registry& registry);

// Runs `change` on the registry under the writers' lock and saves it when
// `change` succeeds; other writers wait, readers see the old or the new file.
DWORD Update(const std::function<DWORD(Registry&)>& change);

}  // namespace advapi32

#endif
