// MessageBoxA: there is no display, so the message goes to standard error as one line.
#include <windows.h>

#include <unistd.h>

#include <string>

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    try {
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
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    return IDOK;
}
