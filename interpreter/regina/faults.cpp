// Torture runs: the runner counts the host service calls of a script and
// makes one of them fail, as the interpreter out of memory would.
//
//   TORTURE_FAULT="SERVICE N"  the Nth call of SERVICE (MakeString, GetArgCopy,
//                              KeywordCopy, GetVar or SetVar) fails
//   TORTURE_COUNTS=FILE        when the process ends, each service's count is
//                              appended to FILE as "SERVICE COUNT" lines
//
// Without either variable nothing is installed and the services run as ever.
#include "faults.h"

#include <services/services.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace halvorin::runner {
namespace {

constexpr Service kFailable[] = {Service::MakeString, Service::GetArgCopy, Service::KeywordCopy, Service::GetVar,
                                 Service::SetVar};

class TortureHooks final : public Hooks {
public:
    DWORD Enter(Service service) override {
        std::lock_guard guard(lock_);
        unsigned count = ++calls_[static_cast<std::size_t>(service)];
        return service == failing_ && count == nth_ ? HOST_REASON_NO_MEMORY : 0;
    }

    void Fail(Service service, unsigned nth) {
        failing_ = service;
        nth_ = nth;
    }

    void Write(const char *path) {
        std::lock_guard guard(lock_);
        FILE *out = std::fopen(path, "a");
        if (!out)
            return;
        for (Service service : kFailable)
            std::fprintf(out, "%s %u\n", ServiceName(service), calls_[static_cast<std::size_t>(service)]);
        std::fclose(out);
    }

private:
    std::mutex lock_;
    std::array<unsigned, kServiceCount> calls_{};
    Service failing_ = Service::Call;
    unsigned nth_ = 0;
};

TortureHooks *hooks = nullptr;
const char *countsFile = nullptr;

void WriteCounts() {
    if (hooks && countsFile)
        hooks->Write(countsFile);
}

} // namespace

void InstallTortureHooks() {
    static bool installed = false; // the runner and the package may both ask
    if (installed)
        return;
    installed = true;
    const char *fault = std::getenv("TORTURE_FAULT");
    countsFile = std::getenv("TORTURE_COUNTS");
    if (!fault && !countsFile)
        return;
    hooks = new TortureHooks; // for the life of the process: services may run at exit
    if (fault) {
        char name[64] = {};
        unsigned nth = 0;
        if (std::sscanf(fault, "%63s %u", name, &nth) == 2) {
            for (Service service : kFailable)
                if (std::strcmp(ServiceName(service), name) == 0)
                    hooks->Fail(service, nth);
        }
    }
    InstallHooks(hooks);
    std::atexit(WriteCounts);
}

} // namespace halvorin::runner
