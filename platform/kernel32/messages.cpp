// FormatMessageA: message tables of modules (the system's is kernel32.dll's
// own, compiled from system.mc), format strings, inserts and line widths.
#include "images.h"
#include "resources.h"

#include <platform/cp1252.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kernel32 {
namespace {

constexpr DWORD kMaxFieldWidth = 0xFFFF;  // a width or precision beyond this is refused, not allocated

std::string Ansi(const char16_t* text, size_t count) {
    std::string out;
    for (size_t i = 0; i < count && text[i]; ++i) out += static_cast<char>(platform::cp1252::FromUnicode(text[i]));
    return out;
}

// Looks `id` up in one MESSAGE_RESOURCE_DATA; a damaged table is treated as not holding it.
bool LookUp(const BYTE* data, size_t size, DWORD id, std::string& text) {
    if (size < 4) return false;
    DWORD blocks;
    memcpy(&blocks, data, 4);
    if (blocks > (size - 4) / sizeof(MESSAGE_RESOURCE_BLOCK)) return false;
    for (DWORD b = 0; b < blocks; ++b) {
        MESSAGE_RESOURCE_BLOCK block;
        memcpy(&block, data + 4 + b * sizeof block, sizeof block);
        if (id < block.LowId || id > block.HighId) continue;
        size_t at = block.OffsetToEntries;
        for (DWORD current = block.LowId;; ++current) {
            if (at > size || size - at < 4) return false;
            WORD length, flags;
            memcpy(&length, data + at, 2);
            memcpy(&flags, data + at + 2, 2);
            if (length < 4 || length > size - at) return false;
            if (current == id) {
                const BYTE* t = data + at + 4;
                size_t bytes = length - 4u;
                if (flags & MESSAGE_RESOURCE_UNICODE) {
                    std::u16string wide(bytes / 2, u'\0');
                    memcpy(wide.data(), t, wide.size() * 2);
                    text = Ansi(wide.data(), wide.size());
                } else {
                    text.assign(reinterpret_cast<const char*>(t), strnlen(reinterpret_cast<const char*>(t), bytes));
                }
                return true;
            }
            at += length;
        }
    }
    return false;
}

DWORD FindMessage(HMODULE module, DWORD id, DWORD language, std::string& text) {
    std::vector<ResourceView> all, tables;
    if (DWORD err = ModuleResources(module, all)) return err;
    if (all.empty()) return ERROR_RESOURCE_DATA_NOT_FOUND;
    std::vector<WORD> languages;
    for (const ResourceView& v : all)
        if (v.entry->type == 11) {  // RT_MESSAGETABLE
            tables.push_back(v);
            languages.push_back(static_cast<WORD>(v.entry->language));
        }
    if (tables.empty()) return ERROR_RESOURCE_TYPE_NOT_FOUND;
    WORD chosen = AnyLanguage(language) ? PreferredLanguage(languages) : static_cast<WORD>(language);
    bool haveLanguage = false;
    for (const ResourceView& v : tables) {
        if (v.entry->language != chosen) continue;
        haveLanguage = true;
        if (LookUp(v.data, v.entry->size, id, text)) return ERROR_SUCCESS;
    }
    return haveLanguage ? ERROR_MR_MID_NOT_FOUND : ERROR_RESOURCE_LANG_NOT_FOUND;
}

// The inserts' arguments, taken from the va_list in order as they are first needed.
class Arguments {
  public:
    Arguments(va_list* list, bool isArray) : list_(list), isArray_(isArray) {}
    bool Get(unsigned number, ULONG_PTR& value) {
        if (!list_ || number == 0 || number > 99) return false;
        if (isArray_) {
            value = reinterpret_cast<const DWORD_PTR*>(list_)[number - 1];
            return true;
        }
        while (fetched_ < number) taken_[fetched_++] = va_arg(*list_, ULONG_PTR);
        value = taken_[number - 1];
        return true;
    }

  private:
    va_list* list_;
    bool isArray_;
    unsigned fetched_ = 0;
    ULONG_PTR taken_[99] = {};
};

std::string Wide16ToAnsi(const WORD* s, long precision) {
    std::string out;
    for (long i = 0; s[i] && (precision < 0 || i < precision); ++i)
        out += static_cast<char>(platform::cp1252::FromUnicode(static_cast<char16_t>(s[i])));
    return out;
}

// One insert: `insertFormat` is the printf format between the '!' marks (default "s");
// numbers one after another feed '*' widths and precisions, then the value.
DWORD Insert(unsigned number, const std::string& insertFormat, Arguments& args, std::string& out) {
    size_t i = 0;
    std::string flags, printfFormat = "%";
    while (i < insertFormat.size() && strchr("-+ #0", insertFormat[i])) flags += insertFormat[i++];
    printfFormat += flags;
    unsigned arg = number;
    auto star = [&](long& v) -> DWORD {
        ULONG_PTR raw;
        if (!args.Get(arg++, raw)) return ERROR_INVALID_PARAMETER;
        v = static_cast<int>(static_cast<DWORD>(raw));
        return ERROR_SUCCESS;
    };
    long width = 0, precision = -1;
    bool hasWidth = true;
    if (i < insertFormat.size() && insertFormat[i] == '*') {
        if (DWORD err = star(width)) return err;
        ++i;
    } else {
        hasWidth = i < insertFormat.size() && isdigit(static_cast<unsigned char>(insertFormat[i]));
        for (width = 0; i < insertFormat.size() && isdigit(static_cast<unsigned char>(insertFormat[i])); ++i)
            width = width * 10 + (insertFormat[i] - '0');
        if (width > static_cast<long>(kMaxFieldWidth)) return ERROR_INVALID_PARAMETER;
    }
    if (i < insertFormat.size() && insertFormat[i] == '.') {
        ++i;
        if (i < insertFormat.size() && insertFormat[i] == '*') {
            if (DWORD err = star(precision)) return err;
            if (precision < 0) precision = -1;  // as printf: a negative precision is none
            ++i;
        } else {
            for (precision = 0; i < insertFormat.size() && isdigit(static_cast<unsigned char>(insertFormat[i])); ++i)
                precision = precision * 10 + (insertFormat[i] - '0');
        }
    }
    if (width < -static_cast<long>(kMaxFieldWidth) || width > static_cast<long>(kMaxFieldWidth) ||
        precision > static_cast<long>(kMaxFieldWidth))
        return ERROR_INVALID_PARAMETER;
    // Sizes: Windows' l is 32 bits; ll, I64, I and z are 64 here.
    int bits = 32;
    bool wide = false;
    std::string rest = insertFormat.substr(i);
    auto take = [&](const char* prefix) {
        if (rest.rfind(prefix, 0) != 0) return false;
        rest.erase(0, strlen(prefix));
        return true;
    };
    if (take("I64") || take("ll") || take("z") || take("j") || take("t")) bits = 64;
    else if (take("I32")) bits = 32;
    else if (take("I")) bits = 64;
    else if (take("hh")) bits = 8;
    else if (take("h")) bits = 16;
    else if (take("l")) bits = 32, wide = true;
    else if (take("w")) wide = true;
    if (rest.size() != 1) return ERROR_INVALID_PARAMETER;
    char conversion = rest[0];

    ULONG_PTR raw;
    if (!args.Get(arg++, raw)) return ERROR_INVALID_PARAMETER;
    if (hasWidth) printfFormat += std::to_string(width);
    if (precision >= 0) printfFormat += "." + std::to_string(precision);
    char buffer[128];
    int n = 0;
    switch (conversion) {
    case 's':
    case 'S': {
        bool isWide = conversion == 'S' || wide;
        std::string text = !raw ? std::string("(null)")
                         : isWide ? Wide16ToAnsi(reinterpret_cast<const WORD*>(raw), precision)
                                  : std::string(reinterpret_cast<const char*>(raw));
        printfFormat += "s";
        n = snprintf(nullptr, 0, printfFormat.c_str(), text.c_str());
        if (n < 0) return ERROR_INVALID_PARAMETER;
        std::string formatted(static_cast<size_t>(n) + 1, '\0');
        snprintf(formatted.data(), formatted.size(), printfFormat.c_str(), text.c_str());
        formatted.resize(static_cast<size_t>(n));
        out += formatted;
        return ERROR_SUCCESS;
    }
    case 'c':
    case 'C': {
        unsigned char c = (conversion == 'C' || wide) ? platform::cp1252::FromUnicode(static_cast<char16_t>(raw))
                                                      : static_cast<unsigned char>(raw);
        printfFormat += "c";
        std::string formatted(static_cast<size_t>(std::max(labs(width), 1L)) + 1, '\0');
        n = snprintf(formatted.data(), formatted.size(), printfFormat.c_str(), c);
        formatted.resize(static_cast<size_t>(std::max(n, 0)));
        out += formatted;
        return ERROR_SUCCESS;
    }
    case 'd':
    case 'i': {
        long long v = bits == 64 ? static_cast<long long>(raw)
                    : bits == 16 ? static_cast<short>(raw)
                    : bits == 8  ? static_cast<signed char>(raw)
                                 : static_cast<int>(static_cast<DWORD>(raw));
        printfFormat += "lld";
        std::string formatted(static_cast<size_t>(std::max(labs(width), precision) + 32), '\0');
        n = snprintf(formatted.data(), formatted.size(), printfFormat.c_str(), v);
        formatted.resize(static_cast<size_t>(std::max(n, 0)));
        out += formatted;
        return ERROR_SUCCESS;
    }
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
        unsigned long long v = bits == 64 ? raw : bits == 16 ? static_cast<WORD>(raw)
                             : bits == 8  ? static_cast<BYTE>(raw) : static_cast<DWORD>(raw);
        printfFormat += "ll";
        printfFormat += conversion;
        std::string formatted(static_cast<size_t>(std::max(labs(width), precision) + 32), '\0');
        n = snprintf(formatted.data(), formatted.size(), printfFormat.c_str(), v);
        formatted.resize(static_cast<size_t>(std::max(n, 0)));
        out += formatted;
        return ERROR_SUCCESS;
    }
    case 'p':
        snprintf(buffer, sizeof buffer, "%016llX", static_cast<unsigned long long>(raw));
        out += buffer;
        return ERROR_SUCCESS;
    default:
        return ERROR_INVALID_PARAMETER;  // floating point and %n are not offered
    }
}

// Breaks lines longer than `width` at their last space, as the max-width flag asks.
std::string Wrap(const std::string& text, unsigned width) {
    std::string out;
    size_t lineStart = 0;
    for (char c : text) {
        out += c;
        if (c == '\n') {
            lineStart = out.size();
            continue;
        }
        if (out.size() - lineStart <= width) continue;
        size_t space = out.rfind(' ', out.size() - 1);
        if (space != std::string::npos && space > lineStart) {
            out.replace(space, 1, "\r\n");
            lineStart = space + 2;
        } else {
            out.insert(out.size() - 1, "\r\n");  // a word longer than the line is cut
            lineStart = out.size() - 1;
        }
    }
    return out;
}

DWORD Format(const std::string& pattern, DWORD flags, va_list* arguments, std::string& out) {
    const bool ignoreInserts = flags & FORMAT_MESSAGE_IGNORE_INSERTS;
    const unsigned width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    Arguments args(arguments, flags & FORMAT_MESSAGE_ARGUMENT_ARRAY);
    const char* p = pattern.c_str();
    while (*p) {
        char c = *p++;
        if (c == '\r' || c == '\n') {
            // A line break of the text itself; with a width it is a space.
            if (c == '\r' && *p == '\n') ++p;
            out += width ? " " : "\r\n";
            continue;
        }
        if (c != '%') {
            out += c;
            continue;
        }
        char e = *p;
        if (!e) break;
        if (e == '0') return ERROR_SUCCESS;  // ends the message, without its line break
        if (e == 'n') out += "\r\n", ++p;
        else if (e == 'r') out += '\r', ++p;
        else if (e == 't') out += '\t', ++p;
        else if (e >= '1' && e <= '9') {
            const char* start = p - 1;
            unsigned number = static_cast<unsigned>(*p++ - '0');
            if (*p >= '0' && *p <= '9') number = number * 10 + static_cast<unsigned>(*p++ - '0');
            std::string insertFormat = "s";
            if (*p == '!') {
                const char* close = strchr(p + 1, '!');
                if (!close) return ERROR_INVALID_PARAMETER;
                insertFormat.assign(p + 1, close);
                p = close + 1;
            }
            if (ignoreInserts) {
                out.append(start, p);  // kept as written
                continue;
            }
            if (!arguments) return ERROR_INVALID_PARAMETER;
            if (DWORD err = Insert(number, insertFormat, args, out)) return err;
        } else if (ignoreInserts) {
            out += '%';  // only %0, %n, %r and %t act when inserts are ignored
        } else {
            out += e;  // %% %. %! and %<space> give the character itself
            ++p;
        }
    }
    if (width && width != FORMAT_MESSAGE_MAX_WIDTH_MASK) out = Wrap(out, width);
    return ERROR_SUCCESS;
}

DWORD FormatMessage(DWORD flags, LPCVOID source, DWORD id, DWORD language, LPSTR buffer, DWORD size,
                    va_list* arguments, DWORD& length) {
    if (!buffer) return ERROR_INVALID_PARAMETER;
    std::string pattern, out;
    if (flags & FORMAT_MESSAGE_FROM_STRING) {
        if (!source) return ERROR_INVALID_PARAMETER;
        pattern = static_cast<const char*>(source);
    } else if (flags & (FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM)) {
        DWORD err = ERROR_MR_MID_NOT_FOUND;
        if (flags & FORMAT_MESSAGE_FROM_HMODULE)
            err = FindMessage(static_cast<HMODULE>(const_cast<void*>(source)), id, language, pattern);
        if (err && (flags & FORMAT_MESSAGE_FROM_SYSTEM)) err = FindMessage(SystemModule(), id, language, pattern);
        if (err) return err;
    } else {
        return ERROR_INVALID_PARAMETER;
    }
    if (DWORD err = Format(pattern, flags, arguments, out)) return err;
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        SIZE_T bytes = std::max<SIZE_T>(out.size() + 1, size);
        auto* block = static_cast<char*>(LocalAlloc(LMEM_FIXED, bytes));
        if (!block) return ERROR_NOT_ENOUGH_MEMORY;
        memcpy(block, out.c_str(), out.size() + 1);
        *reinterpret_cast<LPSTR*>(buffer) = block;
    } else {
        if (out.size() + 1 > size) return ERROR_INSUFFICIENT_BUFFER;
        memcpy(buffer, out.c_str(), out.size() + 1);
    }
    length = static_cast<DWORD>(out.size());
    return ERROR_SUCCESS;
}

}  // namespace
}  // namespace kernel32

DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                            va_list* arguments) {
    DWORD length = 0;
    DWORD err;
    try {
        err = kernel32::FormatMessage(flags, source, messageId, languageId, buffer, size, arguments, length);
    } catch (const std::bad_alloc&) {
        err = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (err) {
        if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) && buffer) *reinterpret_cast<LPSTR*>(buffer) = nullptr;
        SetLastError(err);
        return 0;
    }
    return length;
}
