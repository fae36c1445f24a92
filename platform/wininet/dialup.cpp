// Dial-up networking: not built yet; every call fails loudly.
#include "internal.h"

DWORD WINAPI InternetDial(HWND, LPSTR, DWORD, DWORD_PTR *connection, DWORD)
{
    if (connection)
        *connection = 0;
    return ERROR_CALL_NOT_IMPLEMENTED;
}

DWORD WINAPI InternetHangUp(DWORD_PTR, DWORD) { return ERROR_CALL_NOT_IMPLEMENTED; }

BOOL WINAPI InternetAutodial(DWORD, HWND)
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

BOOL WINAPI InternetAutodialHangup(DWORD)
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

BOOL WINAPI InternetGetConnectedState(LPDWORD flags, DWORD)
{
    if (flags)
        *flags = 0;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

BOOL WINAPI InternetGetConnectedStateEx(LPDWORD flags, LPSTR, DWORD, DWORD)
{
    if (flags)
        *flags = 0;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}
