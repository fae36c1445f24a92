// pool.h: the services' view of a call in progress on Regina: its variables
// and its arguments.
#ifndef HALVORIN_RUNNER_POOL_H
#define HALVORIN_RUNNER_POOL_H

#include "regina.h"

#include <services/services.h>

namespace halvorin::runner {

// The variables of the routine that made the call, through RexxVariablePool.
class ReginaPool final : public VariablePool {
public:
    DWORD Fetch(std::string_view name, std::string &value) override;
    DWORD Set(std::string_view name, std::string_view value) override;
    DWORD Drop(std::string_view name) override;
};

// Regina's arguments for one call: each has a zero byte after its bytes, and
// an omitted argument (a null strptr) stays omitted.
class ReginaArgs final : public ArgList {
public:
    explicit ReginaArgs(regina::Arguments args) : args_(args) {}
    std::size_t Count() const override { return args_.size(); }
    std::optional<std::string_view> Get(std::size_t n) const override;

private:
    regina::Arguments args_;
};

} // namespace halvorin::runner

#endif // HALVORIN_RUNNER_POOL_H
