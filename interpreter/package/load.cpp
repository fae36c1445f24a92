// Loading brevanto.dll into a Regina that is already running a script.
#include "package.h"

#include "runner.h"

#include <optional>

namespace brevanto::package {
namespace {

constexpr char kLibrary[] = "brevanto.dll";

// Loaded once; it stays until the process ends, when the loader's detach
// tells the library that the script is over.
std::optional<halvorin::runner::LoadedLibrary> &library() {
    static std::optional<halvorin::runner::LoadedLibrary> loaded;
    return loaded;
}

} // namespace

std::string Load() {
    try {
        halvorin::runner::BeginPackage();
        if (!library()) {
            std::optional<std::string> folder = halvorin::runner::HostFolder();
            if (!folder)
                return "cannot find the folder of " HOST_MODULE_NAME;
            std::string error;
            library() = halvorin::runner::LoadScriptLibrary(*folder + kLibrary, error);
            if (!library())
                return error;
        }
        std::vector<std::string> refused = halvorin::runner::PublishFunctions();
        if (!refused.empty())
            return "Regina refused the function " + refused.front();
        return std::string();
    } catch (...) {
        return "System resources exhausted in " + std::string(kLoadName);
    }
}

void Drop() {
    try {
        halvorin::runner::WithdrawFunctions();
    } catch (...) {
        // Whatever was not withdrawn stays callable; nothing is lost.
    }
}

void RememberFailure(const std::string &function, const std::string &error, const std::string &message) {
    halvorin::runner::RememberSyntaxFailure(function, error, message);
}

} // namespace brevanto::package
