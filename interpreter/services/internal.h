// internal.h: what the service files share; not for hosts.
#ifndef HALVORIN_SERVICES_INTERNAL_H
#define HALVORIN_SERVICES_INTERNAL_H

#include "services.h"

#include <cstdint>
#include <deque>
#include <string>

// The opaque records of host.h. Each starts with a tag, so that a context
// passed where arguments belong (both are opaque to the library) is caught.
struct HOSTARGS__ {
    std::uint32_t tag;
    const halvorin::ArgList *list;
};

struct HOSTCTX__ {
    std::uint32_t tag;
    halvorin::VariablePool *pool;
    HOSTARGS__ args;
    std::deque<std::string> texts; // GetVar's texts; a deque keeps their addresses
};

namespace halvorin::detail {

inline constexpr std::uint32_t kContextTag = 0x58544348u;  // "HCTX"
inline constexpr std::uint32_t kArgumentsTag = 0x53475241u; // "ARGS"

// Longest string or copy the host makes; longer requests are out of memory.
inline constexpr std::size_t kMaxStringLength = 0x7FFFFFFFu;

// hooks.cpp
DWORD Enter(Service service);
void HostError(Service service, const std::string &what);
HOSTCTX__ *Context(HOSTCTX ctx, Service service);          // nullptr after a host error
const ArgList *Arguments(HOSTARGS args, Service service);   // nullptr after a host error

// memory.cpp
enum class Kind : std::uint32_t { Copy = 1, String = 2, Marker = 3 };
char *Allocate(Kind kind, std::string_view text);            // nullptr: no memory
char *AllocateZeroed(Kind kind, std::size_t length);         // nullptr: no memory
char *RejectMarker();                                        // the static rejected-keyword marker
// The length of a live copy or string that starts at `data`; nullopt for anything else.
std::optional<std::size_t> LiveLength(const void *data);

// A string taken over from the library: released when this ends.
class Handover {
public:
    Handover() = default;
    Handover(char *data, std::size_t length, bool owned) : data_(data), length_(length), owned_(owned) {}
    Handover(Handover &&other) noexcept;
    Handover &operator=(Handover &&other) noexcept;
    Handover(const Handover &) = delete;
    Handover &operator=(const Handover &) = delete;
    ~Handover();
    std::string_view text() const { return {data_, length_}; }

private:
    char *data_ = nullptr;
    std::size_t length_ = 0;
    bool owned_ = false;
};
// Takes over a string handed to the interpreter; nullopt (after a host error)
// when `data` is not a live host string.
std::optional<Handover> TakeOver(ULONG_PTR data, Service service);

// numbers.cpp
bool IsBlank(char c);
std::string_view TrimBlanks(std::string_view text);
std::optional<DWORD> ParseRexxWhole(std::string_view text);
std::optional<ULONGLONG> ParsePlainWhole(std::string_view text, ULONGLONG max);

// The service entries, one area per file.
ULONG_PTR WINAPI GetVar(HOSTCTX ctx, LPCSTR name, ULONG_PTR reserved, ULONG_PTR *out, DWORD flags);
DWORD WINAPI SetVar(HOSTCTX ctx, LPCSTR name, ULONG_PTR reserved, ULONG_PTR value, DWORD flags);
LPSTR WINAPI MakeString(HOSTCTX ctx, ULONG_PTR text, ULONG_PTR length, DWORD mode);
void WINAPI FreeMem(LPVOID memory);
DWORD WINAPI RegisterFunctions(ULONG_PTR reserved, LPCSTR library, const BYTE *names, FUNCTIONROW *table,
                               DWORD param);
LPCSTR WINAPI GetDefaultName(HOSTCTX ctx, DWORD which);
ULONG_PTR WINAPI GetCallerName(HOSTCTX ctx, ULONG_PTR *out, DWORD flags, ULONG_PTR reserved);
LPSTR WINAPI GetArgCopy(HOSTCTX ctx, HOSTARGS args, DWORD n);
ULONG_PTR WINAPI ParseKeywords(HOSTCTX ctx, LPCVOID argsOrText, DWORD flags, const BYTE *keywords,
                               const DWORD *values, DWORD *out, ULONG_PTR reserved);
LPCSTR WINAPI GetArg(HOSTCTX ctx, HOSTARGS args, DWORD flags, DWORD *out);
BOOL WINAPI ArgGiven(HOSTARGS args, DWORD n);
DWORD WINAPI StrToNum(LPCSTR text, DWORD length, LPCSTR *end, DWORD flags);

} // namespace halvorin::detail

#endif // HALVORIN_SERVICES_INTERNAL_H
