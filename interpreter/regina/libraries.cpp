// Loading a library for scripts, as both front ends do: through the platform
// loader, which runs its entry point, then its RexxFeedback(1), by which it
// registers its functions.
#include "runner.h"

#include <platform/paths.h>
#include <windows.h>

#include <cstdio>

namespace halvorin::runner {
namespace {

// The system's text for a Windows error code, as FormatMessageA gives it
// without its line end; `path` fills a "%1" in it (ERROR_BAD_EXE_FORMAT's).
std::string SystemMessage(DWORD code, const std::string &path) {
    char text[512];
    DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(path.c_str())};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, code, 0, text,
                                  sizeof text, reinterpret_cast<va_list *>(inserts));
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? "Windows error" : message;
}

// A path as messages show it: the Linux form where there is one.
std::string Shown(const std::string &path) {
    std::string native;
    return platform::ToNativePath(path, native) == ERROR_SUCCESS ? native : path;
}

} // namespace

std::optional<LoadedLibrary> LoadScriptLibrary(const std::string &path, std::string &error) {
    LoadedLibrary library{path};
    library.module = LoadLibraryA(path.c_str());
    if (!library.module) {
        DWORD code = GetLastError();
        error = "cannot load " + Shown(path) + ": " + SystemMessage(code, path) + " (error " + std::to_string(code) +
                ")";
        return std::nullopt;
    }
    // FARPROC stands for any entry; the export's own type is REXXFEEDBACKPROC.
    library.feedback = reinterpret_cast<REXXFEEDBACKPROC>(
        reinterpret_cast<void *>(GetProcAddress(library.module, LIBRARY_FEEDBACK_EXPORT)));
    if (!library.feedback) {
        error = Shown(path) + " has no " + LIBRARY_FEEDBACK_EXPORT + " entry";
        FreeLibrary(library.module);
        return std::nullopt;
    }
    if (DWORD result = library.feedback(FEEDBACK_REGISTER, 0)) {
        error = Shown(path) + " did not register its functions (" + std::to_string(result) + ")";
        FreeLibrary(library.module);
        return std::nullopt;
    }
    return library;
}

std::optional<std::string> HostFolder() {
    HMODULE self = GetModuleHandleA(HOST_MODULE_NAME);
    if (!self)
        return std::nullopt;
    // Installed under a deep prefix the path may pass MAX_PATH: the longest a Linux path can be.
    std::string folder(32768, '\0');
    DWORD length = GetModuleFileNameA(self, folder.data(), static_cast<DWORD>(folder.size()));
    if (length == 0 || length >= folder.size())
        return std::nullopt;
    folder.resize(length);
    std::size_t slash = folder.find_last_of('\\');
    if (slash == std::string::npos)
        return std::nullopt;
    folder.resize(slash + 1);
    return folder;
}

} // namespace halvorin::runner
