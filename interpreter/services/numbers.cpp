// Number forms: arguments as REXX whole numbers, variable values as plain
// digits, and StrToNum.
#include "internal.h"

#include <limits>

namespace halvorin::detail {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipBlanks(std::string_view text, std::size_t i) {
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    return i;
}

std::size_t SkipDigits(std::string_view text, std::size_t i) {
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    return i;
}

} // namespace

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
    std::size_t begin = SkipBlanks(text, 0);
    std::size_t end = text.size();
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// A REXX number that is whole and fits 32 bits unsigned:
//   blanks, ['+' blanks], digits ['.' digits] or '.' digits, [E [sign] digits], blanks
// e.g. "4096", " 12 ", "+7", "10.00", "1E3", "1.5E1". Not "-1", "1.5", "", "4294967296".
std::optional<DWORD> ParseRexxWhole(std::string_view text) {
    std::size_t i = SkipBlanks(text, 0);
    if (i < text.size() && text[i] == '+')
        i = SkipBlanks(text, i + 1);
    std::size_t intBegin = i;
    i = SkipDigits(text, i);
    std::string_view intDigits = text.substr(intBegin, i - intBegin);
    std::string_view fracDigits;
    if (i < text.size() && text[i] == '.') {
        std::size_t fracBegin = ++i;
        i = SkipDigits(text, i);
        fracDigits = text.substr(fracBegin, i - fracBegin);
    }
    if (intDigits.empty() && fracDigits.empty())
        return std::nullopt;
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            negative = text[i++] == '-';
        std::size_t expBegin = i;
        for (; i < text.size() && IsDigit(text[i]); ++i)
            if (exponent < 1000000) // far past any 32-bit value either way
                exponent = exponent * 10 + (text[i] - '0');
        if (i == expBegin)
            return std::nullopt;
        if (negative)
            exponent = -exponent;
    }
    if (SkipBlanks(text, i) != text.size())
        return std::nullopt;

    // The value is the digits (integer part, then fraction) times 10^scale.
    std::size_t total = intDigits.size() + fracDigits.size();
    auto digitAt = [&](std::size_t k) {
        return k < intDigits.size() ? intDigits[k] : fracDigits[k - intDigits.size()];
    };
    long long scale = exponent - static_cast<long long>(fracDigits.size());
    std::size_t first = 0;
    while (first < total && digitAt(first) == '0')
        ++first;
    if (first == total)
        return 0u;
    std::size_t keep = total - first;
    if (scale < 0) {
        auto dropped = static_cast<unsigned long long>(-scale);
        if (dropped >= keep)
            return std::nullopt; // a nonzero fraction below 1
        for (std::size_t k = total - static_cast<std::size_t>(dropped); k < total; ++k)
            if (digitAt(k) != '0')
                return std::nullopt;
        keep -= static_cast<std::size_t>(dropped);
        scale = 0;
    }
    if (keep + static_cast<unsigned long long>(scale) > 10)
        return std::nullopt;
    ULONGLONG value = 0;
    for (std::size_t k = first; k < first + keep; ++k)
        value = value * 10 + static_cast<ULONGLONG>(digitAt(k) - '0');
    for (long long k = 0; k < scale; ++k)
        value *= 10;
    if (value > std::numeric_limits<DWORD>::max())
        return std::nullopt;
    return static_cast<DWORD>(value);
}

// Plain decimal digits with blanks around, at most `max`.
std::optional<ULONGLONG> ParsePlainWhole(std::string_view text, ULONGLONG max) {
    text = TrimBlanks(text);
    if (text.empty())
        return std::nullopt;
    ULONGLONG value = 0;
    for (char c : text) {
        if (!IsDigit(c))
            return std::nullopt;
        auto digit = static_cast<ULONGLONG>(c - '0');
        if (value > (max - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

DWORD WINAPI StrToNum(LPCSTR text, DWORD length, LPCSTR *end, DWORD flags) {
    Enter(Service::StrToNum);
    if (!text && length) {
        HostError(Service::StrToNum, "no text");
        if (end)
            *end = text;
        return 0;
    }
    std::string_view view(text ? text : "", text ? length : 0);
    if (flags == HOST_NUM_WHOLE) {
        std::optional<ULONGLONG> value = ParsePlainWhole(view, std::numeric_limits<DWORD>::max());
        if (end)
            *end = value ? text + length : text;
        return value ? static_cast<DWORD>(*value) : 0;
    }
    if (flags != 0) {
        HostError(Service::StrToNum, "unknown flags " + std::to_string(flags));
        if (end)
            *end = text;
        return 0;
    }
    // A leading dot is stepped over, so that "1.1" read in two steps gives 1, then 1.
    std::size_t i = SkipBlanks(view, 0);
    if (i < view.size() && view[i] == '.')
        ++i;
    ULONGLONG value = 0;
    for (; i < view.size() && IsDigit(view[i]); ++i) {
        value = value * 10 + static_cast<ULONGLONG>(view[i] - '0');
        if (value > std::numeric_limits<DWORD>::max())
            value = std::numeric_limits<DWORD>::max();
    }
    if (end)
        *end = text ? text + i : text;
    return static_cast<DWORD>(value);
}

} // namespace halvorin::detail
