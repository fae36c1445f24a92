// The test host's variable pool.
#include "pool.h"

namespace halvorin::testhost {

MemoryPool::Resolved MemoryPool::Resolve(std::string_view name) const {
    Resolved r;
    std::size_t dot = name.find('.');
    if (dot == std::string_view::npos) {
        r.key = AsciiUpper(name);
        return r;
    }
    r.key = AsciiUpper(name.substr(0, dot + 1));
    std::string_view rest = name.substr(dot + 1);
    if (rest.empty()) {
        r.isStem = true;
        return r;
    }
    r.isCompound = true;
    bool first = true;
    while (true) {
        std::size_t next = rest.find('.');
        std::string_view part = rest.substr(0, next);
        if (!first)
            r.tail += '.';
        first = false;
        std::string upper = AsciiUpper(part);
        bool constant = part.empty() || (part[0] >= '0' && part[0] <= '9');
        auto it = constant ? simple_.end() : simple_.find(upper);
        r.tail += it != simple_.end() ? it->second : upper;
        if (next == std::string_view::npos)
            break;
        rest.remove_prefix(next + 1);
    }
    return r;
}

DWORD MemoryPool::Fetch(std::string_view name, std::string &value) {
    std::lock_guard guard(lock_);
    Resolved r = Resolve(name);
    if (!r.isStem && !r.isCompound) {
        auto it = simple_.find(r.key);
        if (it == simple_.end())
            return HOST_REASON_NOT_SET;
        value = it->second;
        return 0;
    }
    auto stem = stems_.find(r.key);
    if (stem == stems_.end())
        return HOST_REASON_NOT_SET;
    const std::optional<std::string> *found = &stem->second.defaultValue;
    if (r.isCompound) {
        auto element = stem->second.elements.find(r.tail);
        if (element != stem->second.elements.end())
            found = &element->second;
    }
    if (!*found)
        return HOST_REASON_NOT_SET;
    value = **found;
    return 0;
}

DWORD MemoryPool::Set(std::string_view name, std::string_view value) {
    std::lock_guard guard(lock_);
    Resolved r = Resolve(name);
    if (r.isStem)
        stems_[r.key] = Stem{std::string(value), {}}; // a stem assignment resets every element
    else if (r.isCompound)
        stems_[r.key].elements[r.tail] = std::string(value);
    else
        simple_[r.key] = std::string(value);
    return 0;
}

DWORD MemoryPool::Drop(std::string_view name) {
    std::lock_guard guard(lock_);
    Resolved r = Resolve(name);
    if (r.isStem) {
        stems_.erase(r.key);
    } else if (r.isCompound) {
        auto stem = stems_.find(r.key);
        if (stem != stems_.end()) {
            if (stem->second.defaultValue)
                stem->second.elements[r.tail] = std::nullopt;
            else
                stem->second.elements.erase(r.tail);
        }
    } else {
        simple_.erase(r.key);
    }
    return 0;
}

std::map<std::string, std::string> MemoryPool::Snapshot() const {
    std::lock_guard guard(lock_);
    std::map<std::string, std::string> all(simple_);
    for (const auto &[stem, content] : stems_) {
        if (content.defaultValue)
            all[stem] = *content.defaultValue;
        for (const auto &[tail, value] : content.elements)
            if (value)
                all[stem + tail] = *value;
    }
    return all;
}

void MemoryPool::Clear() {
    std::lock_guard guard(lock_);
    simple_.clear();
    stems_.clear();
}

} // namespace halvorin::testhost
