// What a variable name may be: a REXX variable symbol.
#include "internal.h"

namespace halvorin {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string AsciiUpper(std::string_view text) {
    std::string result(text);
    for (char &c : result)
        c = AsciiUpper(c);
    return result;
}

bool IsSymbolChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '!' ||
           c == '?' || c == '_' || c == '@' || c == '#' || c == '$';
}

// Symbol characters only, and not a constant symbol: the first character is
// neither a digit nor a dot.
bool IsVariableSymbol(std::string_view name) {
    if (name.empty() || (name[0] >= '0' && name[0] <= '9') || name[0] == '.')
        return false;
    for (char c : name)
        if (!IsSymbolChar(c))
            return false;
    return true;
}

} // namespace halvorin
