// The host's keyword and number parsing, against simple references: the
// words of a keyword argument, the REXX whole numbers of GetArg's number form,
// the plain digits of GetVar's, and StrToNum in both forms.
#include <services/services.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

class Pool final : public halvorin::VariablePool {
public:
    DWORD Fetch(std::string_view name, std::string &value) override
    {
        auto it = values_.find(std::string(name));
        if (it == values_.end())
            return HOST_REASON_NOT_SET;
        value = it->second;
        return 0;
    }
    DWORD Set(std::string_view name, std::string_view value) override
    {
        values_[std::string(name)] = std::string(value);
        return 0;
    }
    DWORD Drop(std::string_view name) override
    {
        values_.erase(std::string(name));
        return 0;
    }

private:
    std::map<std::string, std::string> values_;
};

class OneArgument final : public halvorin::ArgList {
public:
    explicit OneArgument(std::string text) : text_(std::move(text)) {}
    std::size_t Count() const override { return 1; }
    std::optional<std::string_view> Get(std::size_t n) const override
    {
        return n == 1 ? std::optional<std::string_view>(text_) : std::nullopt;
    }

private:
    std::string text_;
};

const BYTE kList[] = "\x08" "DOWNLOAD" "\x06" "UPLOAD" "\x04" "FREE" "\x01" "X" "\x06" "RELOAD";
const DWORD kValues[] = {0x1, 0x2, 0x4, 0x8, 0x80000000};

[[noreturn]] void Wrong() { std::abort(); }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The OR of the words' values, or the word rejected: with one keyword asked
// for, a second word whatever the first; else the first that is none.
std::optional<DWORD> Keywords(std::string_view text, bool single, std::string &rejected)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ','))
            ++i;
        std::size_t begin = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != ',')
            ++i;
        if (i > begin)
            words.push_back(text.substr(begin, i - begin));
    }
    if (single && words.size() > 1) {
        rejected = std::string(words[1]);
        return std::nullopt;
    }
    DWORD out = 0;
    for (std::string_view w : words) {
        std::string word;
        for (char c : w)
            word += Upper(c);
        const char *names[] = {"DOWNLOAD", "UPLOAD", "FREE", "X", "RELOAD"};
        std::optional<DWORD> value;
        for (std::size_t k = 0; k < 5; k++)
            if (word == names[k])
                value = kValues[k];
        if (!value) {
            rejected = std::string(w);
            return std::nullopt;
        }
        out |= *value;
    }
    return out;
}

bool Blank(char c) { return c == ' ' || c == '\t'; }
bool Digit(char c) { return c >= '0' && c <= '9'; }

// A whole number from 0 to 4294967295 in REXX notation, worked out on the digits.
std::optional<DWORD> RexxWhole(std::string_view t)
{
    std::size_t i = 0, n = t.size();
    while (i < n && Blank(t[i]))
        ++i;
    if (i < n && t[i] == '+') {
        ++i;
        while (i < n && Blank(t[i]))
            ++i;
    }
    std::string digits;
    long long scale = 0;
    while (i < n && Digit(t[i]))
        digits += t[i++];
    if (i < n && t[i] == '.') {
        ++i;
        while (i < n && Digit(t[i])) {
            digits += t[i++];
            --scale;
        }
    }
    if (digits.empty())
        return std::nullopt;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < n && (t[i] == '+' || t[i] == '-'))
            negative = t[i++] == '-';
        if (i >= n || !Digit(t[i]))
            return std::nullopt;
        long long e = 0;
        while (i < n && Digit(t[i])) {
            e = std::min<long long>(e * 10 + (t[i++] - '0'), 1000000000LL);
        }
        scale += negative ? -e : e;
    }
    while (i < n && Blank(t[i]))
        ++i;
    if (i != n)
        return std::nullopt;
    std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return 0u;
    digits.erase(0, first);
    // Whole: the fraction's digits are all zero.
    while (scale < 0) {
        if (digits.empty() || digits.back() != '0')
            return std::nullopt;
        digits.pop_back();
        ++scale;
    }
    if (static_cast<long long>(digits.size()) + scale > 10)
        return std::nullopt;
    digits.append(static_cast<std::size_t>(scale), '0');
    unsigned long long v = std::stoull(digits);
    if (v > 4294967295ULL)
        return std::nullopt;
    return static_cast<DWORD>(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const HOSTSERVICES &host = halvorin::ServiceTable();
    std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
    Pool pool;
    OneArgument args(text);
    halvorin::CallFrame frame(pool, args);

    switch (data[0] % 4) {
    case 0: { // keywords, several or one
        for (bool single : {false, true}) {
            DWORD out = 0xABCD;
            DWORD flags = HOST_KW_ARGUMENT | (single ? HOST_KW_SINGLE : 0) | 1;
            ULONG_PTR rejected = host.ParseKeywords(frame.ctx(), frame.args(), flags, kList, kValues, &out, 0);
            std::string expectedRejected;
            std::optional<DWORD> expected = Keywords(text, single, expectedRejected);
            if (rejected) {
                // The host's string is the word; compared up to a zero byte in it.
                if (expected || reinterpret_cast<const char *>(rejected) != expectedRejected.substr(
                                                                              0, expectedRejected.find('\0')))
                    Wrong();
                host.FreeMem(reinterpret_cast<LPVOID>(rejected));
            } else if (!expected || (text.find_first_not_of(" \t,") != std::string::npos && out != *expected)) {
                Wrong();
            }
        }
        break;
    }
    case 1: { // GetArg's number form
        DWORD out = 0;
        LPCSTR given = host.GetArg(frame.ctx(), frame.args(), HOST_ARG_NUMBER | 1, &out);
        std::optional<DWORD> expected = text.empty() ? std::nullopt : RexxWhole(text);
        if (given ? !expected || *expected != out : expected.has_value() || out != (text.empty() ? 0u : 26u))
            Wrong();
        break;
    }
    case 2: { // GetVar's number form: plain digits, blanks around
        pool.Set("V", text);
        ULONG_PTR out = 0;
        ULONG_PTR found = host.GetVar(frame.ctx(), "V", 0, &out, HOST_VAR_NUMBER);
        std::size_t b = text.find_first_not_of(" \t"), e = text.find_last_not_of(" \t");
        bool plain = b != std::string::npos && text.substr(b, e - b + 1).find_first_not_of("0123456789") ==
                                                   std::string::npos;
        if (found && !plain)
            Wrong();
        break;
    }
    default: { // StrToNum, whole and stepwise: never past the text
        for (DWORD flags : {HOST_NUM_WHOLE, 0u}) {
            LPCSTR end = nullptr;
            host.StrToNum(text.data(), static_cast<DWORD>(text.size()), &end, flags);
            if (end < text.data() || end > text.data() + text.size())
                Wrong();
        }
    }
    }
    if (halvorin::OutstandingAllocations().copies || halvorin::OutstandingAllocations().strings)
        Wrong();
    return 0;
}
