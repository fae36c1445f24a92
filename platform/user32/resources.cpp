// LoadStringA: a string from a module's RT_STRING bundles.
#include <windows.h>
#include <platform/cp1252.h>

namespace {

// Finds string `id`: its counted UTF-16 text inside the bundle of id/16 + 1.
DWORD FindString(HINSTANCE instance, UINT id, const WORD*& text, WORD& length) {
    HRSRC found = FindResourceExA(instance, RT_STRING, MAKEINTRESOURCEA((LOWORD(id) >> 4) + 1),
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (!found) return GetLastError();
    const auto* p = static_cast<const WORD*>(LockResource(LoadResource(instance, found)));
    DWORD words = SizeofResource(instance, found) / 2;
    if (!p) return GetLastError();
    DWORD at = 0;
    for (UINT slot = 0; slot < (id & 15u); ++slot) {
        if (at >= words) return ERROR_RESOURCE_NAME_NOT_FOUND;
        at += 1u + p[at];
    }
    if (at >= words || p[at] > words - at - 1) return ERROR_RESOURCE_NAME_NOT_FOUND;
    length = p[at];
    text = p + at + 1;
    return length ? ERROR_SUCCESS : ERROR_RESOURCE_NAME_NOT_FOUND;
}

}  // namespace

int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) {
    if (!buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const WORD* text = nullptr;
    WORD length = 0;
    DWORD err = FindString(instance, id, text, length);
    if (bufferMax == 0) {
        // The pointer form: buffer receives the address of the read-only text, which is UTF-16 and not terminated.
        if (err) {
            SetLastError(err);
            return 0;
        }
        *reinterpret_cast<const WORD**>(buffer) = text;
        return length;
    }
    if (bufferMax < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (err) {
        buffer[0] = 0;
        SetLastError(err);
        return 0;
    }
    int n = length < bufferMax - 1 ? length : bufferMax - 1;
    for (int i = 0; i < n; ++i) buffer[i] = static_cast<char>(platform::cp1252::FromUnicode(static_cast<char16_t>(text[i])));
    buffer[n] = 0;
    return n;
}
