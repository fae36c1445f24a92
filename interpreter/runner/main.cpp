// halvorin [--library PATH]... SCRIPT [ARG...]
//
// Runs a REXX script on Regina the way the Halvorin interpreter does: the
// libraries are loaded through the platform loader and asked to register
// their functions before the script, told that it is over after it, and
// unloaded at exit.
#include "runner.h"

#include <host/host.h>
#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr char kDefaultLibrary[] = "brevanto.dll";

struct Library {
    std::string path;
    HMODULE module = nullptr;
    REXXFEEDBACKPROC feedback = nullptr;
};

void Usage(FILE *out) {
    std::fputs("usage: halvorin [--library PATH]... SCRIPT [ARG...]\n"
               "Runs the REXX script SCRIPT with the ARGs, joined by blanks, as its argument string.\n"
               "Loads brevanto.dll from the runner's folder, or each library given with --library.\n",
               out);
}

// The runner's folder, where the default library is.
std::string ProgramFolder() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    std::string self(path, static_cast<std::size_t>(n));
    std::size_t slash = self.find_last_of('/');
    return slash == std::string::npos ? "." : self.substr(0, slash);
}

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

// Loads each library and has it register its functions; false after a message.
bool Load(const std::vector<std::string> &paths, std::vector<Library> &loaded) {
    for (const std::string &path : paths) {
        Library library{path};
        library.module = LoadLibraryA(path.c_str());
        if (!library.module) {
            DWORD error = GetLastError();
            std::fprintf(stderr, "halvorin: cannot load %s: %s (error %u)\n", path.c_str(),
                         SystemMessage(error, path).c_str(), error);
            return false;
        }
        loaded.push_back(library);
        // FARPROC stands for any entry; the export's own type is REXXFEEDBACKPROC.
        auto feedback = reinterpret_cast<REXXFEEDBACKPROC>(
            reinterpret_cast<void *>(GetProcAddress(library.module, LIBRARY_FEEDBACK_EXPORT)));
        if (!feedback) {
            std::fprintf(stderr, "halvorin: %s has no %s entry\n", path.c_str(), LIBRARY_FEEDBACK_EXPORT);
            return false;
        }
        loaded.back().feedback = feedback;
        if (DWORD result = feedback(FEEDBACK_REGISTER, 0)) {
            std::fprintf(stderr, "halvorin: %s did not register its functions (%u)\n", path.c_str(), result);
            return false;
        }
    }
    return true;
}

void Unload(std::vector<Library> &loaded) {
    for (auto it = loaded.rbegin(); it != loaded.rend(); ++it)
        FreeLibrary(it->module);
    loaded.clear();
}

} // namespace

int main(int argc, char **argv) {
    std::vector<std::string> libraries;
    int i = 1;
    for (; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--") {
            ++i;
            break;
        }
        if (option == "--help" || option == "-h") {
            Usage(stdout);
            return 0;
        }
        if (option == "--library") {
            if (i + 1 >= argc) {
                Usage(stderr);
                return 2;
            }
            libraries.push_back(argv[++i]);
        } else if (option.rfind("--library=", 0) == 0) {
            libraries.push_back(option.substr(10));
        } else if (option.size() > 1 && option[0] == '-') {
            std::fprintf(stderr, "halvorin: unknown option %s\n", option.c_str());
            Usage(stderr);
            return 2;
        } else {
            break;
        }
    }
    if (i >= argc) {
        Usage(stderr);
        return 2;
    }
    std::string script = argv[i++];
    std::optional<std::string> argument;
    for (; i < argc; ++i) {
        if (argument)
            *argument += ' ';
        else
            argument.emplace();
        *argument += argv[i];
    }
    if (libraries.empty())
        libraries.push_back(ProgramFolder() + "/" + kDefaultLibrary);

    halvorin::runner::BeginScript(script);
    std::vector<Library> loaded;
    int status = 2;
    if (Load(libraries, loaded)) {
        std::vector<std::string> refused = halvorin::runner::PublishFunctions();
        for (const std::string &name : refused)
            std::fprintf(stderr, "halvorin: Regina refused the function %s\n", name.c_str());
        if (refused.empty())
            status = halvorin::runner::RunScript(script, argument);
        for (const Library &library : loaded)
            library.feedback(FEEDBACK_END_OF_SCRIPT, 0);
        halvorin::runner::ReportOutstanding();
    }
    Unload(loaded);
    return status;
}
