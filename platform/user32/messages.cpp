// The message queue: GetMessageA, PeekMessageA, PostMessageA, DispatchMessageA,
// PostQuitMessage, GetKeyState. Input from the display arrives here as
// the messages Windows would queue; the queue waits on the display when empty.
#include "window_table.h"

using namespace user32;

BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
    if (!message) {
        SetLastError(ERROR_NOACCESS);
        return -1;
    }
    if (window && !FindWindowRecord(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    try {
        for (;;) {
            if (TakeMessage(*message, window, filterMin, filterMax, true)) {
                RecordKey(*message);
                return message->message == WM_QUIT ? FALSE : TRUE;
            }
            const ui::Backend* display = ConnectedDisplay();
            if (!display || !AnyWindows()) {
                // Nothing is left that could post a message: waiting would never end.
                SetLastError(ERROR_INVALID_OPERATION);
                return -1;
            }
            display->wait(1);
            if (window && !FindWindowRecord(window)) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return -1;
            }
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
}

BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
    if (!message) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    try {
        if (const ui::Backend* display = ConnectedDisplay()) display->wait(0);
        if (!TakeMessage(*message, window, filterMin, filterMax, (remove & PM_REMOVE) != 0)) return FALSE;
        if (remove & PM_REMOVE) RecordKey(*message);
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (DWORD err = Post(window, message, wParam, lParam)) {
            SetLastError(err);
            return FALSE;
        }
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

void WINAPI PostQuitMessage(int exitCode) { SetQuit(exitCode); }

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    if (!message || !message->hwnd) return 0;
    if (!FindWindowRecord(message->hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

SHORT WINAPI GetKeyState(int virtualKey) { return KeyDown(virtualKey) ? static_cast<SHORT>(0x8000) : 0; }
