// Host strings and copies: MakeString, FreeMem, and the handing over of
// strings to the interpreter.
//
// Every block carries a header in front of its data (length, tag, kind) and a
// zero byte after it. A registry of live blocks lets FreeMem and the handover
// tell a live block from anything else without reading memory that is not
// one, so a bad address is reported, never dereferenced.
#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace halvorin {
namespace detail {
namespace {

constexpr std::uint32_t kLiveTag = 0x564C4148u; // "HALV"
constexpr std::uint32_t kDeadTag = 0x44414544u; // "DEAD"

struct alignas(16) Header {
    ULONGLONG length;
    std::uint32_t tag;
    Kind kind;
};

// A block of `bytes` (header included), zero-filled when `zeroed`; 0 when
// memory runs out. Large blocks (a whole download, say) come from the
// process's malloc too: the runner's puts them on huge pages of their own and
// reuses the last one freed.
Header *NewBlock(std::size_t bytes, bool zeroed) {
    return static_cast<Header *>(zeroed ? std::calloc(1, bytes) : std::malloc(bytes));
}

void FreeBlock(Header *block) { std::free(block); }

struct Registry {
    std::mutex lock;
    std::unordered_map<const char *, Kind> live;
};

Registry &registry() {
    static Registry *r = new Registry; // never destroyed: blocks may be freed during exit
    return *r;
}

Header *HeaderOf(const char *data) { return reinterpret_cast<Header *>(const_cast<char *>(data)) - 1; }

// The marker ParseKeywords returns when not even the copy of a rejected word
// can be made: a string of its own kind, empty, that FreeMem accepts silently.
struct MarkerBlock {
    Header header;
    char data[16];
};
MarkerBlock marker{{0, kLiveTag, Kind::Marker}, {}};

char *Register(Header *block, Kind kind, std::size_t length) {
    block->length = length;
    block->tag = kLiveTag;
    block->kind = kind;
    char *data = reinterpret_cast<char *>(block + 1);
    data[length] = '\0';
    try {
        std::lock_guard guard(registry().lock);
        registry().live.emplace(data, kind);
    } catch (...) {
        FreeBlock(block);
        return nullptr;
    }
    return data;
}

void Release(const char *data) {
    Header *block = HeaderOf(data);
    block->tag = kDeadTag;
    FreeBlock(block);
}

// Removes `data` from the live blocks; nullopt when it is not one.
std::optional<Kind> Unregister(const void *data) {
    std::lock_guard guard(registry().lock);
    auto it = registry().live.find(static_cast<const char *>(data));
    if (it == registry().live.end())
        return std::nullopt;
    Kind kind = it->second;
    registry().live.erase(it);
    return kind;
}

std::string Address(const void *p) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

} // namespace

char *AllocateZeroed(Kind kind, std::size_t length) {
    if (length > kMaxStringLength)
        return nullptr;
    Header *block = NewBlock(sizeof(Header) + length + 1, true);
    if (!block)
        return nullptr;
    return Register(block, kind, length);
}

char *Allocate(Kind kind, std::string_view text) {
    if (text.size() > kMaxStringLength)
        return nullptr;
    Header *block = NewBlock(sizeof(Header) + text.size() + 1, false);
    if (!block)
        return nullptr;
    if (!text.empty())
        std::memcpy(block + 1, text.data(), text.size());
    return Register(block, kind, text.size());
}

char *RejectMarker() { return marker.data; }

std::optional<std::size_t> LiveLength(const void *data) {
    std::lock_guard guard(registry().lock);
    if (!registry().live.count(static_cast<const char *>(data)))
        return std::nullopt;
    return static_cast<std::size_t>(HeaderOf(static_cast<const char *>(data))->length);
}

Handover::Handover(Handover &&other) noexcept
    : data_(other.data_), length_(other.length_), owned_(other.owned_) {
    other.data_ = nullptr;
    other.owned_ = false;
}

Handover &Handover::operator=(Handover &&other) noexcept {
    if (this != &other) {
        if (owned_)
            Release(data_);
        data_ = other.data_;
        length_ = other.length_;
        owned_ = other.owned_;
        other.data_ = nullptr;
        other.owned_ = false;
    }
    return *this;
}

Handover::~Handover() {
    if (owned_)
        Release(data_);
}

std::optional<Handover> TakeOver(ULONG_PTR value, Service service) {
    auto *data = reinterpret_cast<char *>(value);
    if (data == marker.data)
        return Handover(data, 0, false);
    std::optional<Kind> kind = Unregister(data);
    if (!kind) {
        HostError(service, "handed over " + Address(data) + ", which is not a live host string");
        return std::nullopt;
    }
    if (*kind == Kind::Copy)
        HostError(service, "handed over the GetArgCopy copy " + Address(data) + "; copies are freed, not handed over");
    return Handover(data, HeaderOf(data)->length, true);
}

LPSTR WINAPI MakeString(HOSTCTX ctx, ULONG_PTR text, ULONG_PTR length, DWORD mode) {
    DWORD fault = Enter(Service::MakeString);
    Context(ctx, Service::MakeString); // not needed, but a missing or bad one is the library's fault
    try {
        const char *source = reinterpret_cast<const char *>(text);
        switch (mode) {
        case HOST_STR_FRESH:
            return fault ? nullptr : AllocateZeroed(Kind::String, length);
        case HOST_STR_COPY: {
            if (!source && length != 0) {
                HostError(Service::MakeString, "copy of no text");
                return nullptr;
            }
            if (fault)
                return nullptr;
            if (length == HOST_STR_TO_ZERO)
                return Allocate(Kind::String, source);
            if (length > kMaxStringLength)
                return nullptr;
            return Allocate(Kind::String, std::string_view(source, length));
        }
        case HOST_STR_DECIMAL:
            return fault ? nullptr : Allocate(Kind::String, std::to_string(static_cast<ULONGLONG>(length)));
        case HOST_STR_FORMAT: {
            if (!source) {
                HostError(Service::MakeString, "format of no text");
                return nullptr;
            }
            if (fault)
                return nullptr;
            // Each "%_" takes the next insert; once the inserts (if any) are
            // used up, or one is a null entry, the markers stay as they are.
            const LPCSTR *inserts = reinterpret_cast<const LPCSTR *>(length);
            std::string result;
            for (const char *p = source; *p; ++p) {
                if (p[0] == '%' && p[1] == '_' && inserts && *inserts) {
                    result += *inserts++;
                    ++p;
                    continue;
                }
                result += *p;
            }
            return Allocate(Kind::String, result);
        }
        default:
            HostError(Service::MakeString, "unknown mode " + std::to_string(mode));
            return nullptr;
        }
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

void WINAPI FreeMem(LPVOID memory) {
    Enter(Service::FreeMem);
    if (!memory || memory == marker.data)
        return;
    if (!Unregister(memory)) {
        HostError(Service::FreeMem, "FreeMem(" + Address(memory) +
                                        "): not a live copy or string (freed twice, handed over, or never the host's)");
        return;
    }
    Release(static_cast<char *>(memory));
}

} // namespace detail

Outstanding OutstandingAllocations() {
    Outstanding result;
    std::lock_guard guard(detail::registry().lock);
    for (const auto &[data, kind] : detail::registry().live) {
        if (kind == detail::Kind::Copy)
            ++result.copies;
        else
            ++result.strings;
    }
    return result;
}

std::size_t ReleaseOutstanding() {
    std::unordered_map<const char *, detail::Kind> live;
    {
        std::lock_guard guard(detail::registry().lock);
        live.swap(detail::registry().live);
    }
    for (const auto &[data, kind] : live)
        detail::Release(data);
    return live.size();
}

} // namespace halvorin
