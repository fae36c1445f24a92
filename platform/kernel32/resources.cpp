// FindResourceA, FindResourceExA, LoadResource, LockResource, SizeofResource.
#include "resources.h"

#include "images.h"

#include <cstdlib>

namespace kernel32 {
namespace {

constexpr WORD kUserLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

size_t Align(size_t n, size_t to) { return (n + to - 1) & ~(to - 1); }

void ReadNote(const BYTE* desc, size_t size, std::vector<ResourceView>& out) {
    if (size < sizeof(WIN32_RSRC_DIRECTORY)) return;
    const auto* dir = reinterpret_cast<const WIN32_RSRC_DIRECTORY*>(desc);
    if (dir->signature != WIN32_RSRC_SIGNATURE) return;
    if (dir->count > (size - sizeof *dir) / sizeof(WIN32_RSRC_ENTRY)) return;
    const auto* entries = reinterpret_cast<const WIN32_RSRC_ENTRY*>(desc + sizeof *dir);
    for (uint32_t i = 0; i < dir->count; ++i) {
        const WIN32_RSRC_ENTRY& e = entries[i];
        if (e.offset > size || e.size > size - e.offset || e.offset % 4) continue;  // not ours to trust
        out.push_back({&e, desc + e.offset});
    }
}

// Parses one process's object's notes; damaged notes are passed over.
void ReadNotes(const Image& image, std::vector<ResourceView>& out) {
    for (size_t i = 0; i < image.phnum; ++i) {
        const ElfW(Phdr)& ph = image.phdr[i];
        if (ph.p_type != PT_NOTE) continue;
        size_t align = ph.p_align == 8 ? 8 : 4;
        const BYTE* p = reinterpret_cast<const BYTE*>(image.bias + ph.p_vaddr);
        const BYTE* end = p + ph.p_memsz;
        while (end - p >= static_cast<ptrdiff_t>(sizeof(ElfW(Nhdr)))) {
            const auto* note = reinterpret_cast<const ElfW(Nhdr)*>(p);
            size_t nameAt = sizeof *note, descAt = nameAt + Align(note->n_namesz, align);
            size_t next = descAt + Align(note->n_descsz, align);
            if (note->n_namesz > static_cast<size_t>(end - p) || note->n_descsz > static_cast<size_t>(end - p) ||
                next > static_cast<size_t>(end - p))
                break;
            if (note->n_type == WIN32_RSRC_NOTE_TYPE && note->n_namesz == sizeof(WIN32_RSRC_OWNER) &&
                memcmp(p + nameAt, WIN32_RSRC_OWNER, sizeof(WIN32_RSRC_OWNER)) == 0)
                ReadNote(p + descAt, note->n_descsz, out);
            p += next;
        }
    }
}

// A resource name or type: a number, or "#number" as Windows accepts it.
bool NumericName(LPCSTR name, DWORD& id) {
    if (IS_INTRESOURCE(name)) {
        id = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(name));
        return true;
    }
    if (name[0] != '#' || !name[1]) return false;
    char* end = nullptr;
    unsigned long v = strtoul(name + 1, &end, 10);
    if (*end || v > 0xFFFF) return false;
    id = static_cast<DWORD>(v);
    return true;
}

DWORD Find(HMODULE module, LPCSTR type, LPCSTR name, DWORD language, HRSRC& found) {
    if (!type || !name) return ERROR_INVALID_PARAMETER;
    std::vector<ResourceView> all;
    if (DWORD err = ModuleResources(module, all)) return err;
    if (all.empty()) return ERROR_RESOURCE_DATA_NOT_FOUND;
    DWORD typeId = 0, nameId = 0;
    if (!NumericName(type, typeId)) return ERROR_RESOURCE_TYPE_NOT_FOUND;
    std::vector<ResourceView> ofType, named;
    for (const ResourceView& v : all)
        if (v.entry->type == typeId) ofType.push_back(v);
    if (ofType.empty()) return ERROR_RESOURCE_TYPE_NOT_FOUND;
    if (!NumericName(name, nameId)) return ERROR_RESOURCE_NAME_NOT_FOUND;
    for (const ResourceView& v : ofType)
        if (v.entry->id == nameId) named.push_back(v);
    if (named.empty()) return ERROR_RESOURCE_NAME_NOT_FOUND;

    std::vector<WORD> wanted;
    if (AnyLanguage(language)) {
        std::vector<WORD> available;
        for (const ResourceView& v : named) available.push_back(static_cast<WORD>(v.entry->language));
        wanted.push_back(PreferredLanguage(available));
    } else {
        wanted = {static_cast<WORD>(language), static_cast<WORD>(MAKELANGID(PRIMARYLANGID(language), SUBLANG_NEUTRAL))};
    }
    for (WORD w : wanted)
        for (const ResourceView& v : named)
            if (v.entry->language == w) {
                found = reinterpret_cast<HRSRC>(const_cast<WIN32_RSRC_ENTRY*>(v.entry));
                return ERROR_SUCCESS;
            }
    return ERROR_RESOURCE_LANG_NOT_FOUND;
}

// The resource's view, if `resource` is one of the module's own entries.
DWORD Resolve(HMODULE module, HRSRC resource, ResourceView& out) {
    if (!resource) return ERROR_INVALID_HANDLE;
    std::vector<ResourceView> all;
    if (DWORD err = ModuleResources(module, all)) return err;
    for (const ResourceView& v : all)
        if (reinterpret_cast<HRSRC>(const_cast<WIN32_RSRC_ENTRY*>(v.entry)) == resource) {
            out = v;
            return ERROR_SUCCESS;
        }
    return ERROR_INVALID_HANDLE;
}

}  // namespace

WORD PreferredLanguage(const std::vector<WORD>& available) {
    for (WORD w : {WORD(0), kUserLanguage, WORD(LANG_USER_DEFAULT), WORD(LANG_SYSTEM_DEFAULT)})
        for (WORD a : available)
            if (a == w) return a;
    for (WORD a : available)
        if (PRIMARYLANGID(a) == LANG_ENGLISH) return a;
    return available.empty() ? 0 : available.front();
}

DWORD ModuleResources(HMODULE module, std::vector<ResourceView>& out) {
    try {
        Image image;
        if (!FindImage(module, image)) return ERROR_INVALID_HANDLE;
        ReadNotes(image, out);
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

}  // namespace kernel32

HRSRC WINAPI FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
    HRSRC found = nullptr;
    if (DWORD err = kernel32::Find(module, type, name, language, found)) {
        SetLastError(err);
        return nullptr;
    }
    return found;
}

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    return FindResourceExA(module, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
}

HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource) {
    kernel32::ResourceView view{};
    if (DWORD err = kernel32::Resolve(module, resource, view)) {
        SetLastError(err);
        return nullptr;
    }
    return const_cast<BYTE*>(view.data);  // read-only, as resource data are on Windows
}

LPVOID WINAPI LockResource(HGLOBAL resourceData) { return resourceData; }

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource) {
    kernel32::ResourceView view{};
    if (DWORD err = kernel32::Resolve(module, resource, view)) {
        SetLastError(err);
        return 0;
    }
    return view.entry->size;
}
