// halvorin.dll on Regina: the export libraries bind to, and the entry points
// of the runner and the package.
#include "runner.h"

#include "calls.h"
#include "faults.h"
#include "interrupt.h"
#include "pool.h"
#include "regina.h"

#include <services/services.h>

#include <cstdio>
#include <cstdlib>

extern "C" HALVORIN_RUNNER_API DWORD WINAPI RexxGetHalvorinFuncs(HOSTSERVICES *table, DWORD size, DWORD level) {
    return halvorin::GetHalvorinFuncs(table, size, level);
}

namespace halvorin::runner {

namespace {

// "<script file name> Halvorin/<version>", the agent InetOpen sends by default.
void SetScriptName(const std::string &path) {
    std::size_t slash = path.find_last_of('/');
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    SetCallerName(file.empty() ? std::string(kDefaultName) : file + " " + kDefaultName);
}

} // namespace

void BeginScript(const std::string &path) {
    SetScriptName(path);
    regina::ReadOptions();
    regina::SetDispatcher(Knows, Dispatch);
    InstallTortureHooks();
}

void BeginPackage() {
    static bool begun = false;
    if (begun)
        return;
    begun = true;
    SetScriptName(regina::ScriptFile().value_or(std::string()));
    regina::SetDispatcher(Knows, Dispatch);
    InstallTortureHooks();
    // Regina's own command never says when the script is over: the watch
    // thread runs until the process ends, and is stopped before the modules
    // hear of it.
    StartInterruptWatch();
    std::atexit(StopInterruptWatch);
}

std::vector<std::string> PublishFunctions() {
    std::vector<std::string> refused;
    for (const Function &function : Functions())
        if (!regina::RegisterFunction(function.name))
            refused.push_back(function.name);
    return refused;
}

void WithdrawFunctions() {
    for (const Function &function : Functions())
        regina::DeregisterFunction(function.name);
}

void RememberSyntaxFailure(const std::string &function, const std::string &error, const std::string &message) {
    ReginaPool pool;
    try {
        Remember(pool, function, Failure{"SYNTAX", error, message});
    } catch (...) {
        // Best effort, as for any failure: the error itself still reaches the script.
    }
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
