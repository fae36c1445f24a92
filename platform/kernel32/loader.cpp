// The loader: LoadLibraryA, FreeLibrary, GetModuleHandleA, GetProcAddress,
// DisableThreadLibraryCalls, GetModuleFileNameA. A module handle is the address
// of the module's ELF header; its entry point is the header's e_entry, called
// with Windows' DLL notifications.
#include "loader.h"

#include "images.h"

#include <platform/cp1252.h>
#include <platform/paths.h>

#include <dirent.h>
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace kernel32 {
namespace {

struct Module {
    HMODULE base = nullptr;
    void* handle = nullptr;  // our one dlopen reference
    std::string path;
    PDLL_ENTRY entry = nullptr;
    int references = 0;
    bool threadCalls = true;
};

// The loader lock: held while entry points run, and re-entered when they call back.
struct Loader {
    std::recursive_mutex lock;
    std::vector<std::shared_ptr<Module>> modules;  // in load order
    std::set<HMODULE> quietModules;                // mapped by the dynamic linker, thread calls switched off
    bool exitHooked = false;
};
Loader& loader() {
    static Loader* l = new Loader;  // never destroyed: it is needed during process exit
    return *l;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (platform::cp1252::ToLower(static_cast<unsigned char>(a[i])) !=
            platform::cp1252::ToLower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Windows' rule: a name without an extension gets ".dll"; a trailing '.' means "no extension".
std::string WithExtension(std::string name) {
    size_t slash = name.find_last_of("/\\");
    std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    if (!last.empty() && last.back() == '.') name.pop_back();
    else if (last.find('.') == std::string::npos) name += ".dll";
    return name;
}

bool HasPath(const std::string& name) {
    return name.find_first_of("/\\") != std::string::npos ||
           (name.size() >= 2 && isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':');
}

bool IsFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// `name` in `dir`, matched without regard to case as Windows file names are.
std::string FindInDirectory(const std::string& dir, const std::string& name) {
    std::string exact = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (IsFile(exact)) return exact;
    std::string found;
    if (DIR* d = opendir(dir.empty() ? "." : dir.c_str())) {
        while (dirent* e = readdir(d))
            if (SameName(e->d_name, name)) {
                std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + e->d_name;
                if (IsFile(candidate)) {
                    found = candidate;
                    break;
                }
            }
        closedir(d);
    }
    return found;
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

// The executable's folder, the current folder, then PATH.
std::string Search(const std::string& name) {
    Image exe;
    std::vector<std::string> dirs;
    if (FindImage(nullptr, exe)) dirs.push_back(DirectoryOf(exe.path));
    dirs.push_back(".");
    if (const char* path = getenv("PATH")) {
        std::string all = path;
        for (size_t i = 0; i <= all.size();) {
            size_t colon = all.find(':', i);
            if (colon == std::string::npos) colon = all.size();
            if (colon > i) dirs.push_back(all.substr(i, colon - i));
            i = colon + 1;
        }
    }
    for (const std::string& d : dirs) {
        std::string found = FindInDirectory(d, name);
        if (!found.empty()) return found;
    }
    return "";
}

// Only modules named .dll that are not programs as well have a DllMain entry:
// a Linux library's e_entry (libc's, the dynamic linker's) is a program start.
PDLL_ENTRY EntryPoint(HMODULE base) {
    Image image;
    if (!FindImage(base, image)) return nullptr;
    std::string name = BaseName(image.path);
    if (name.size() < 4 || !SameName(name.substr(name.size() - 4), ".dll")) return nullptr;
    for (size_t i = 0; i < image.phnum; ++i)
        if (image.phdr[i].p_type == PT_INTERP) return nullptr;
    const auto* header = reinterpret_cast<const ElfW(Ehdr)*>(image.base);
    if (memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 || header->e_entry == 0) return nullptr;
    uintptr_t entry = header->e_type == ET_DYN ? image.bias + header->e_entry : header->e_entry;
    return reinterpret_cast<PDLL_ENTRY>(entry);
}

HMODULE BaseOf(void* handle) {
    struct link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) return nullptr;
    for (const Image& image : Images())
        if (image.bias == map->l_addr && !image.executable) {
            if (map->l_name && image.path != map->l_name) continue;
            return reinterpret_cast<HMODULE>(image.base);
        }
    return nullptr;
}

std::shared_ptr<Module> Loaded(HMODULE base) {
    for (const auto& m : loader().modules)
        if (m->base == base) return m;
    return nullptr;
}

void Forget(const std::shared_ptr<Module>& module) {
    auto& all = loader().modules;
    for (auto it = all.begin(); it != all.end(); ++it)
        if (*it == module) {
            all.erase(it);
            return;
        }
}

// At process exit every module still loaded hears of it, the last loaded first; none is unmapped.
void DetachAllAtExit() {
    std::lock_guard guard(loader().lock);
    std::vector<std::shared_ptr<Module>> all(loader().modules.rbegin(), loader().modules.rend());
    for (const auto& m : all)
        if (m->entry) m->entry(reinterpret_cast<HINSTANCE>(m->base), DLL_PROCESS_DETACH, reinterpret_cast<LPVOID>(1));
}

DWORD OpenError() {
    const char* message = dlerror();
    std::string text = message ? message : "";
    if (text.find("undefined symbol") != std::string::npos) return ERROR_PROC_NOT_FOUND;
    // A dependency that is missing is reported as the module being missing, as Windows does.
    if (text.find("cannot open shared object file") != std::string::npos) return ERROR_MOD_NOT_FOUND;
    return ERROR_BAD_EXE_FORMAT;
}

DWORD Load(LPCSTR fileName, HMODULE& result) {
    if (!fileName || !*fileName) return ERROR_INVALID_PARAMETER;
    std::string name = WithExtension(fileName);
    std::lock_guard guard(loader().lock);
    std::string file;
    if (HasPath(name)) {
        std::string native;
        if (platform::ToNativePath(name, native) != ERROR_SUCCESS) return ERROR_MOD_NOT_FOUND;
        file = FindInDirectory(DirectoryOf(native), BaseName(native));
    } else {
        // A module of that name already in the process is the one, wherever it came from.
        for (const auto& m : loader().modules)
            if (SameName(BaseName(m->path), name)) {
                ++m->references;
                result = m->base;
                return ERROR_SUCCESS;
            }
        for (const Image& image : Images())
            if (!image.executable && SameName(BaseName(image.path), name)) {
                file = image.path;
                break;
            }
        if (file.empty()) file = Search(name);
    }
    if (file.empty()) return ERROR_MOD_NOT_FOUND;
    char resolved[PATH_MAX];
    if (!realpath(file.c_str(), resolved)) return ERROR_MOD_NOT_FOUND;

    dlerror();
    void* handle = dlopen(resolved, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return OpenError();
    HMODULE base = BaseOf(handle);
    if (!base) {
        dlclose(handle);
        return ERROR_BAD_EXE_FORMAT;
    }
    if (auto m = Loaded(base)) {
        ++m->references;
        dlclose(handle);  // the module keeps the one reference it has
        result = base;
        return ERROR_SUCCESS;
    }
    auto module = std::make_shared<Module>();
    module->base = base;
    module->handle = handle;
    module->path = resolved;
    module->entry = EntryPoint(base);
    module->references = 1;
    loader().modules.push_back(module);
    if (!loader().exitHooked) {
        atexit(DetachAllAtExit);
        loader().exitHooked = true;
    }
    if (module->entry && !module->entry(reinterpret_cast<HINSTANCE>(base), DLL_PROCESS_ATTACH, nullptr)) {
        module->entry(reinterpret_cast<HINSTANCE>(base), DLL_PROCESS_DETACH, nullptr);
        Forget(module);
        dlclose(handle);
        return ERROR_DLL_INIT_FAILED;
    }
    result = base;
    return ERROR_SUCCESS;
}

DWORD Free(HMODULE base) {
    std::lock_guard guard(loader().lock);
    auto module = Loaded(base);
    if (!module) {
        Image image;
        // What the dynamic linker mapped stays for the life of the process, as Windows pins static imports.
        return base && FindImage(base, image) ? ERROR_SUCCESS : ERROR_MOD_NOT_FOUND;
    }
    if (--module->references > 0) return ERROR_SUCCESS;
    if (module->entry) module->entry(reinterpret_cast<HINSTANCE>(base), DLL_PROCESS_DETACH, nullptr);
    Forget(module);
    dlclose(module->handle);
    return ERROR_SUCCESS;
}

DWORD Find(LPCSTR moduleName, HMODULE& result) {
    if (!moduleName) {
        result = ExecutableModule();
        return result ? ERROR_SUCCESS : ERROR_MOD_NOT_FOUND;
    }
    std::string name = WithExtension(moduleName);
    if (HasPath(name)) {
        std::string native;
        char resolved[PATH_MAX];
        if (platform::ToNativePath(name, native) != ERROR_SUCCESS || !realpath(native.c_str(), resolved))
            return ERROR_MOD_NOT_FOUND;
        for (const Image& image : Images()) {
            char mine[PATH_MAX];
            if (realpath(image.path.c_str(), mine) && strcmp(mine, resolved) == 0) {
                result = reinterpret_cast<HMODULE>(image.base);
                return ERROR_SUCCESS;
            }
        }
        return ERROR_MOD_NOT_FOUND;
    }
    for (const Image& image : Images())
        if (SameName(BaseName(image.path), name)) {
            result = reinterpret_cast<HMODULE>(image.base);
            return ERROR_SUCCESS;
        }
    return ERROR_MOD_NOT_FOUND;
}

DWORD Procedure(HMODULE module, LPCSTR name, FARPROC& result) {
    Image image;
    if (!FindImage(module, image)) return ERROR_MOD_NOT_FOUND;
    if (!name) return ERROR_PROC_NOT_FOUND;
    // A number names the module's alias for that ordinal (win32_module's ORDINALS).
    std::string byOrdinal;
    if (IS_INTRESOURCE(name)) {
        WORD ordinal = LOWORD(reinterpret_cast<ULONG_PTR>(name));
        if (ordinal == 0) return ERROR_PROC_NOT_FOUND;
        byOrdinal = "win32_ordinal_" + std::to_string(ordinal);
        name = byOrdinal.c_str();
    }
    std::shared_ptr<Module> ours;
    {
        std::lock_guard guard(loader().lock);
        ours = Loaded(reinterpret_cast<HMODULE>(image.base));
    }
    void* handle = ours ? ours->handle
                 : image.executable ? dlopen(nullptr, RTLD_NOW)
                                    : dlopen(image.path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return ERROR_MOD_NOT_FOUND;
    void* symbol = dlsym(handle, name);
    if (!ours) dlclose(handle);
    // dlsym also searches the module's dependencies; only the module's own symbols count.
    Dl_info info{};
    if (!symbol || !dladdr(symbol, &info) || reinterpret_cast<uintptr_t>(info.dli_fbase) != image.base)
        return ERROR_PROC_NOT_FOUND;
    result = reinterpret_cast<FARPROC>(symbol);
    return ERROR_SUCCESS;
}

}  // namespace

void NotifyThread(DWORD reason) {
    std::lock_guard guard(loader().lock);
    std::vector<std::shared_ptr<Module>> all = loader().modules;
    for (const auto& m : all)
        if (m->entry && m->threadCalls) m->entry(reinterpret_cast<HINSTANCE>(m->base), reason, nullptr);
}

}  // namespace kernel32

namespace {

// The exports' one pattern: the internal function's error becomes the last error.
template <class F>
bool Succeeded(F &&body) {
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

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    HMODULE module = nullptr;
    return Succeeded([&] { return kernel32::Load(fileName, module); }) ? module : nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    return Succeeded([&] { return kernel32::Free(module); }) ? TRUE : FALSE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    HMODULE module = nullptr;
    return Succeeded([&] { return kernel32::Find(moduleName, module); }) ? module : nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    FARPROC proc = nullptr;
    return Succeeded([&] { return kernel32::Procedure(module, procName, proc); }) ? proc : nullptr;
}

BOOL WINAPI DisableThreadLibraryCalls(HMODULE module) {
    using namespace kernel32;
    try {
        std::lock_guard guard(loader().lock);
        if (auto m = Loaded(module)) {
            m->threadCalls = false;
            return TRUE;
        }
        Image image;
        if (module && FindImage(module, image)) {
            loader().quietModules.insert(module);
            return TRUE;
        }
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    std::string windows;
    DWORD err = ERROR_SUCCESS;
    try {
        kernel32::Image image;
        if (!kernel32::FindImage(module, image)) err = ERROR_MOD_NOT_FOUND;
        else err = platform::ToWindowsPath(image.path, windows);
    } catch (...) {
        err = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (!err && size > 0 && !fileName) err = ERROR_INVALID_PARAMETER;
    if (err) {
        SetLastError(err);
        return 0;
    }
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (windows.size() < size) {
        memcpy(fileName, windows.c_str(), windows.size() + 1);
        return static_cast<DWORD>(windows.size());
    }
    // Too small: as much as fits with a terminating zero, the size as the result.
    memcpy(fileName, windows.data(), size - 1);
    fileName[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}
