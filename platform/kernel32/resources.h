// The compiled resources of a module, read from its resource notes.
#ifndef KERNEL32_RESOURCES_H
#define KERNEL32_RESOURCES_H

#include <windows.h>
#include <platform/resource_note.h>

#include <vector>

namespace kernel32 {

struct ResourceView {
    const WIN32_RSRC_ENTRY* entry;
    const BYTE* data;
};

// Every resource of every note of `module` (NULL: the executable).
// ERROR_INVALID_HANDLE when no object in the process has that base.
DWORD ModuleResources(HMODULE module, std::vector<ResourceView>& out);

// Whether a LANGID asks for no language in particular (neutral, user or system default).
inline bool AnyLanguage(DWORD language) { return PRIMARYLANGID(language) == LANG_NEUTRAL; }

// The language to use among `available` when the caller named none: neutral,
// then the user's (English, United States), then any English, then the first.
WORD PreferredLanguage(const std::vector<WORD>& available);

}  // namespace kernel32

#endif
