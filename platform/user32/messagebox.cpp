// MessageBoxA: a modal box on the display when there is one; without a
// display the message goes to standard error as one line.
#include <windows.h>

#include "window_table.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

int ToStandardError(LPCSTR text, LPCSTR caption) {
    std::string line = "MessageBox: ";
    line += caption ? caption : "Error";  // Windows' caption when none is given
    line += ": ";
    line += text ? text : "";
    line += '\n';
    // One write, so that lines from several threads do not interleave.
    for (size_t done = 0; done < line.size();) {
        ssize_t n = write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return IDOK;
}

}  // namespace

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    try {
        using namespace user32;
        user32::LogUi(std::string("messagebox ") + (caption ? caption : "Error") + ": " + (text ? text : ""));
        const char* display = getenv("DISPLAY");
        if (!display || !*display) return ToStandardError(text, caption);
        DWORD err;
        const ui::Backend* backend = Display(err);
        if (!backend) return ToStandardError(text, caption);
        Window* ownerRecord = owner ? FindWindowRecord(owner) : nullptr;
        if (owner && !ownerRecord) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        Window* top = TopOf(ownerRecord);
        return backend->messageBox(ToUtf8(text ? text : "").c_str(), ToUtf8(caption ? caption : "Error").c_str(), type,
                                   top ? top->widget : nullptr);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
