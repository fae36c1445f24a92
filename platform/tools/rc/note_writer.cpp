// The generated C++ source: the resources as one ELF note of the module.
#include "compiler.h"
#include "formats.h"

#include <platform/resource_note.h>

#include <algorithm>
#include <cstdio>

namespace rc {

std::string NoteSource(const std::vector<Resource>& input, const std::string& origin) {
    std::vector<const Resource*> sorted;
    for (const Resource& r : input) sorted.push_back(&r);
    std::sort(sorted.begin(), sorted.end(), [](const Resource* a, const Resource* b) {
        return std::tie(a->type, a->id, a->language) < std::tie(b->type, b->id, b->language);
    });

    Bytes d;
    d.Dword(WIN32_RSRC_SIGNATURE);
    d.Dword(static_cast<uint32_t>(sorted.size()));
    size_t dataStart = 8 + sorted.size() * sizeof(WIN32_RSRC_ENTRY);
    size_t offset = dataStart;
    for (const Resource* r : sorted) {
        d.Dword(r->type);
        d.Dword(r->id);
        d.Dword(r->language);
        d.Dword(static_cast<uint32_t>(offset));
        d.Dword(static_cast<uint32_t>(r->data.size()));
        offset = (offset + r->data.size() + 3) & ~size_t{3};
    }
    if (offset > 0x7FFFFFFF) throw Error(origin + ": the resources are too large for one module");
    for (const Resource* r : sorted) {
        d.Raw(r->data);
        d.Align4();
    }
    std::vector<uint8_t> descriptor = d.Take();

    std::string safeOrigin;
    for (char c : origin) safeOrigin += (c == '\n' || c == '\r') ? ' ' : c;
    std::string out;
    out += "// Resources compiled by win32_rc from " + safeOrigin + "; do not edit.\n";
    out += "// Read by FindResourceA, LoadStringA and FormatMessageA through the module's notes.\n";
    out += "namespace {\n\n";
    out += "struct ResourceNote {\n";
    out += "    unsigned int nameSize;\n    unsigned int descriptorSize;\n    unsigned int type;\n";
    out += "    char name[12];\n";
    out += "    unsigned char descriptor[" + std::to_string(descriptor.size()) + "];\n};\n\n";
    out += "__attribute__((section(\"" WIN32_RSRC_SECTION "\"), used, aligned(4)))\n";
    out += "const ResourceNote resourceNote = {\n";
    out += "    " + std::to_string(sizeof(WIN32_RSRC_OWNER)) + ", " + std::to_string(descriptor.size()) + ", " +
           std::to_string(WIN32_RSRC_NOTE_TYPE) + "u, \"" WIN32_RSRC_OWNER "\",\n    {";
    char hex[8];
    for (size_t i = 0; i < descriptor.size(); ++i) {
        if (i % 16 == 0) out += "\n        ";
        snprintf(hex, sizeof hex, "0x%02x,", descriptor[i]);
        out += hex;
    }
    out += "\n    }};\n\n}  // namespace\n";
    return out;
}

}  // namespace rc
