// pool.h: the test host's variables, in memory, by REXX's name rules.
#ifndef HALVORIN_TESTHOST_POOL_H
#define HALVORIN_TESTHOST_POOL_H

#include <services/services.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace halvorin::testhost {

// Simple variables, and stems with an optional default and their elements.
// Names are upper-cased; each tail part that is a simple variable with a value
// is replaced by that value, as REXX does for a compound symbol.
class MemoryPool final : public VariablePool {
public:
    DWORD Fetch(std::string_view name, std::string &value) override;
    DWORD Set(std::string_view name, std::string_view value) override;
    DWORD Drop(std::string_view name) override;

    std::map<std::string, std::string> Snapshot() const;
    void Clear();

private:
    struct Stem {
        std::optional<std::string> defaultValue;
        // nullopt: dropped while the stem had a default, so it has no value
        std::map<std::string, std::optional<std::string>> elements;
    };
    struct Resolved {
        std::string key;  // the simple name, or the stem name with its dot
        std::string tail; // compound only
        bool isStem = false;
        bool isCompound = false;
    };
    Resolved Resolve(std::string_view name) const;

    mutable std::mutex lock_;
    std::map<std::string, std::string> simple_;
    std::map<std::string, Stem> stems_;
};

} // namespace halvorin::testhost

#endif // HALVORIN_TESTHOST_POOL_H
