// win32_rc: compiles Windows resource scripts (.rc) and message files (.mc)
// into a C++ source that carries the resources as an ELF note of the module.
#ifndef WIN32_RC_COMPILER_H
#define WIN32_RC_COMPILER_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace rc {

// A fault in the input: the message names the file and line.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& file, int line, const std::string& message);

// One compiled resource in its Windows binary form.
struct Resource {
    uint32_t type = 0;
    uint32_t id = 0;
    uint16_t language = 0;
    std::vector<uint8_t> data;
};

constexpr uint16_t kDefaultLanguage = 0x409;  // English (United States)

struct Options {
    std::vector<std::string> includeDirs;
};

std::vector<Resource> CompileScript(const std::string& path, const Options& options);
std::vector<Resource> CompileMessageFile(const std::string& path);

// The C++ source that places `resources` into the note; `origin` names the input in a comment.
std::string NoteSource(const std::vector<Resource>& resources, const std::string& origin);

// Reads a whole file; fails with an Error naming it.
std::string ReadFile(const std::string& path);

// Source text to UTF-16 by code page (1252 or 65001); fails on invalid UTF-8.
std::u16string Decode(const std::string& bytes, unsigned codePage, const std::string& file, int line);

}  // namespace rc

#endif
