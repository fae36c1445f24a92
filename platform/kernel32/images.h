// The ELF objects in the process, found by the address of their header (the HMODULE).
#ifndef KERNEL32_IMAGES_H
#define KERNEL32_IMAGES_H

#include <windows.h>

#include <link.h>

#include <string>
#include <vector>

namespace kernel32 {

struct Image {
    uintptr_t base = 0;  // the ELF header in memory: the module handle
    uintptr_t bias = 0;  // what the dynamic linker added to the file's addresses
    const ElfW(Phdr)* phdr = nullptr;
    size_t phnum = 0;
    std::string path;  // as the dynamic linker found it; the executable's from /proc/self/exe
    bool executable = false;
};

// Every object mapped now, the executable first.
std::vector<Image> Images();

// The object whose image base is `module`; NULL means the executable.
bool FindImage(HMODULE module, Image& out);

HMODULE ExecutableModule();

// kernel32.dll itself, whose message table is the system's.
HMODULE SystemModule();

// The file name part of a path.
std::string BaseName(const std::string& path);

}  // namespace kernel32

#endif
