// The lstr* string functions, with Windows' tolerance of null pointers.
#include <windows.h>
#include <platform/cp1252.h>

int WINAPI lstrlenA(LPCSTR string) { return string ? static_cast<int>(strlen(string)) : 0; }

LPSTR WINAPI lstrcpyA(LPSTR destination, LPCSTR source) {
    if (!destination || !source) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return strcpy(destination, source);
}

// Copies at most maxLength - 1 characters and always ends the copy with a zero.
LPSTR WINAPI lstrcpynA(LPSTR destination, LPCSTR source, int maxLength) {
    unsigned count = static_cast<unsigned>(maxLength);
    if (count == 0) return destination;
    if (!destination || (count > 1 && !source)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LPSTR d = destination;
    while (count > 1 && *source) {
        *d++ = *source++;
        --count;
    }
    *d = 0;
    return destination;
}

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    for (;; ++a, ++b) {
        unsigned char x = platform::cp1252::ToLower(static_cast<unsigned char>(*a));
        unsigned char y = platform::cp1252::ToLower(static_cast<unsigned char>(*b));
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
    }
}
