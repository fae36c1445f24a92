// Reading input files and turning their text into UTF-16.
#include "compiler.h"

#include <platform/cp1252.h>

#include <fstream>
#include <sstream>

namespace rc {

void Fail(const std::string& file, int line, const std::string& message) {
    throw Error(line > 0 ? file + ":" + std::to_string(line) + ": " + message : file + ": " + message);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(path, 0, "cannot open the file");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) Fail(path, 0, "cannot read the file");
    return text.str();
}

std::u16string Decode(const std::string& bytes, unsigned codePage, const std::string& file, int line) {
    std::u16string out;
    if (codePage != 65001) {
        for (unsigned char c : bytes) out += platform::cp1252::ToUnicode(c);
        return out;
    }
    for (size_t i = 0; i < bytes.size();) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        uint32_t cp = 0;
        size_t n = 0;
        if (c < 0x80) cp = c, n = 1;
        else if ((c & 0xE0) == 0xC0) cp = c & 0x1F, n = 2;
        else if ((c & 0xF0) == 0xE0) cp = c & 0x0F, n = 3;
        else if ((c & 0xF8) == 0xF0) cp = c & 0x07, n = 4;
        else Fail(file, line, "invalid UTF-8 text");
        if (i + n > bytes.size()) Fail(file, line, "invalid UTF-8 text");
        for (size_t k = 1; k < n; ++k) {
            unsigned char t = static_cast<unsigned char>(bytes[i + k]);
            if ((t & 0xC0) != 0x80) Fail(file, line, "invalid UTF-8 text");
            cp = (cp << 6) | (t & 0x3F);
        }
        static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) Fail(file, line, "invalid UTF-8 text");
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += n;
    }
    return out;
}

}  // namespace rc
