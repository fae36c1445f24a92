// The ELF objects of the process, found with dl_iterate_phdr.
#include "images.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace kernel32 {
namespace {

std::string ExecutablePath() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    path[n] = 0;
    return path;
}

int Collect(struct dl_phdr_info* info, size_t, void* data) {
    auto& all = *static_cast<std::vector<Image>*>(data);
    Image image;
    image.bias = info->dlpi_addr;
    image.phdr = info->dlpi_phdr;
    image.phnum = info->dlpi_phnum;
    image.base = 0;
    // The header sits at the start of the segment mapped from offset 0.
    for (size_t i = 0; i < info->dlpi_phnum; ++i)
        if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_offset == 0) {
            image.base = info->dlpi_addr + info->dlpi_phdr[i].p_vaddr;
            break;
        }
    if (!image.base) return 0;
    image.executable = all.empty();
    try {
        image.path = image.executable ? ExecutablePath() : std::string(info->dlpi_name ? info->dlpi_name : "");
        all.push_back(std::move(image));
    } catch (...) {
        return 1;
    }
    return 0;
}

}  // namespace

std::vector<Image> Images() {
    std::vector<Image> all;
    dl_iterate_phdr(Collect, &all);
    return all;
}

bool FindImage(HMODULE module, Image& out) {
    for (Image& image : Images())
        if ((module == nullptr && image.executable) || image.base == reinterpret_cast<uintptr_t>(module)) {
            out = std::move(image);
            return true;
        }
    return false;
}

HMODULE ExecutableModule() {
    Image image;
    return FindImage(nullptr, image) ? reinterpret_cast<HMODULE>(image.base) : nullptr;
}

HMODULE SystemModule() {
    static HMODULE self = [] {
        Dl_info info{};
        dladdr(reinterpret_cast<void*>(&SystemModule), &info);
        return static_cast<HMODULE>(info.dli_fbase);
    }();
    return self;
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace kernel32
