// The runner's halvorin.dll: the export libraries bind to, and the runner's
// own entry points.
#include "runner.h"

#include "calls.h"
#include "faults.h"
#include "regina.h"

#include <services/services.h>

#include <cstdio>

extern "C" HALVORIN_RUNNER_API DWORD WINAPI RexxGetHalvorinFuncs(HOSTSERVICES *table, DWORD size, DWORD level) {
    return halvorin::GetHalvorinFuncs(table, size, level);
}

namespace halvorin::runner {

void BeginScript(const std::string &path) {
    std::size_t slash = path.find_last_of('/');
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    SetCallerName(file + " " + kDefaultName);
    regina::ReadOptions();
    regina::SetDispatcher(Knows, Dispatch);
    InstallTortureHooks();
}

std::vector<std::string> PublishFunctions() {
    std::vector<std::string> refused;
    for (const Function &function : Functions())
        if (!regina::RegisterFunction(function.name))
            refused.push_back(function.name);
    return refused;
}

int RunScript(const std::string &path, const std::optional<std::string> &argument) { return regina::Run(path, argument); }

std::size_t ReportOutstanding() {
    Outstanding left = OutstandingAllocations();
    if (left.copies || left.strings)
        std::fprintf(stderr, "halvorin: host error: %zu argument copies and %zu strings were never freed\n", left.copies,
                     left.strings);
    return left.copies + left.strings;
}

} // namespace halvorin::runner
