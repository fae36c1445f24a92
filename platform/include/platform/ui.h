// Platform-private, exported by user32.dll for the common controls: what a
// control of a registered class shows, drawn by the display module.
#ifndef PLATFORM_UI_H
#define PLATFORM_UI_H

#include <windows.h>
#include <platform/errors.h>

namespace platform::ui {

// Draws `window` as a progress bar standing at `position` between `low` and
// `high`, at once (as a bar repaints itself when it steps).
// ERROR_INVALID_WINDOW_HANDLE when the window is not there.
PLATFORM_API DWORD ShowBar(HWND window, int low, int high, int position);

}  // namespace platform::ui

#endif
