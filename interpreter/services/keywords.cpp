// ParseKeywords: keyword arguments against a KeywordList.
#include "internal.h"

#include <vector>

namespace halvorin::detail {
namespace {

constexpr std::size_t kMaxKeywords = 1024; // a list longer than this has lost its zero end

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSeparator(text[i]))
            ++i;
        std::size_t begin = i;
        while (i < text.size() && !IsSeparator(text[i]))
            ++i;
        if (i > begin)
            words.push_back(text.substr(begin, i - begin));
    }
    return words;
}

bool SameWord(std::string_view word, const BYTE *entry, std::size_t length) {
    if (word.size() != length)
        return false;
    for (std::size_t k = 0; k < length; ++k)
        if (AsciiUpper(word[k]) != AsciiUpper(static_cast<char>(entry[k])))
            return false;
    return true;
}

// The value of `word`, or nullopt when it is not in the list.
std::optional<DWORD> Lookup(std::string_view word, const BYTE *keywords, const DWORD *values) {
    const BYTE *entry = keywords;
    for (std::size_t i = 0; *entry != 0; ++i) {
        if (i == kMaxKeywords) {
            HostError(Service::ParseKeywords, "keyword list without its zero end");
            return std::nullopt;
        }
        std::size_t length = *entry++;
        if (SameWord(word, entry, length)) {
            if (values)
                return values[i];
            if (i >= 32) {
                HostError(Service::ParseKeywords, "keyword " + std::to_string(i) + " has no bit of its own; give values");
                return 0u;
            }
            return DWORD{1} << i;
        }
        entry += length;
    }
    return std::nullopt;
}

ULONG_PTR Reject(std::string_view word) {
    if (!Enter(Service::KeywordCopy))
        if (char *copy = Allocate(Kind::String, word))
            return reinterpret_cast<ULONG_PTR>(copy);
    return reinterpret_cast<ULONG_PTR>(RejectMarker());
}

} // namespace

ULONG_PTR WINAPI ParseKeywords(HOSTCTX ctx, LPCVOID argsOrText, DWORD flags, const BYTE *keywords,
                               const DWORD *values, DWORD *out, ULONG_PTR reserved) {
    Enter(Service::ParseKeywords);
    Context(ctx, Service::ParseKeywords);
    if (!keywords || !out) {
        HostError(Service::ParseKeywords, keywords ? "no out word" : "no keyword list");
        return 0;
    }
    if (reserved)
        HostError(Service::ParseKeywords, "reserved word not 0");
    try {
        std::string_view text;
        if (flags & HOST_KW_ARGUMENT) {
            if (flags & ~(HOST_KW_ARGUMENT | HOST_KW_SINGLE | HOST_ARG_INDEX)) {
                HostError(Service::ParseKeywords, "unknown flags " + std::to_string(flags));
                return 0;
            }
            const ArgList *list = Arguments(static_cast<HOSTARGS>(const_cast<void *>(argsOrText)),
                                            Service::ParseKeywords);
            if (!list)
                return 0;
            DWORD n = flags & HOST_ARG_INDEX;
            if (n == 0) {
                HostError(Service::ParseKeywords, "argument 0 (arguments count from 1)");
                return 0;
            }
            std::optional<std::string_view> argument = list->Get(n);
            if (!argument)
                return 0;
            text = *argument;
        } else {
            if (flags & ~(HOST_KW_SINGLE | HOST_KW_TEXT_LENGTH)) {
                HostError(Service::ParseKeywords, "unknown flags " + std::to_string(flags));
                return 0;
            }
            DWORD length = flags & HOST_KW_TEXT_LENGTH;
            if (!argsOrText && length) {
                HostError(Service::ParseKeywords, "no text");
                return 0;
            }
            if (argsOrText)
                text = std::string_view(static_cast<const char *>(argsOrText), length);
        }

        std::vector<std::string_view> words = Words(text);
        if (words.empty())
            return 0;
        if ((flags & HOST_KW_SINGLE) && words.size() > 1)
            return Reject(words[1]);
        DWORD result = 0;
        for (std::string_view word : words) {
            std::optional<DWORD> value = Lookup(word, keywords, values);
            if (!value)
                return Reject(word);
            result |= *value;
        }
        *out = result;
        return 0;
    } catch (const std::bad_alloc &) {
        // Not even the word list could be held: reject without a text.
        return reinterpret_cast<ULONG_PTR>(RejectMarker());
    }
}

} // namespace halvorin::detail
