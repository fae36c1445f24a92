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

void Unload(std::vector<halvorin::runner::LoadedLibrary> &loaded) {
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
    std::vector<halvorin::runner::LoadedLibrary> loaded;
    int status = 2;
    bool ready = true;
    for (const std::string &path : libraries) {
        std::string error;
        std::optional<halvorin::runner::LoadedLibrary> library = halvorin::runner::LoadScriptLibrary(path, error);
        if (!library) {
            std::fprintf(stderr, "halvorin: %s\n", error.c_str());
            ready = false;
            break;
        }
        loaded.push_back(*library);
    }
    if (ready) {
        std::vector<std::string> refused = halvorin::runner::PublishFunctions();
        for (const std::string &name : refused)
            std::fprintf(stderr, "halvorin: Regina refused the function %s\n", name.c_str());
        if (refused.empty())
            status = halvorin::runner::RunScript(script, argument);
        for (const halvorin::runner::LoadedLibrary &library : loaded)
            library.feedback(FEEDBACK_END_OF_SCRIPT, 0);
        halvorin::runner::ReportOutstanding();
    }
    Unload(loaded);
    return status;
}
