// CharUpperA: one character or a string, in the ANSI code page.
#include <windows.h>
#include <platform/cp1252.h>

LPSTR WINAPI CharUpperA(LPSTR string) {
    using platform::cp1252::ToUpper;
    // A value whose high word is zero is a character, not an address.
    if ((reinterpret_cast<ULONG_PTR>(string) >> 16) == 0) {
        unsigned char c = static_cast<unsigned char>(reinterpret_cast<ULONG_PTR>(string) & 0xFF);
        return reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(ToUpper(c)));
    }
    for (LPSTR p = string; *p; ++p) *p = static_cast<char>(ToUpper(static_cast<unsigned char>(*p)));
    return string;
}
