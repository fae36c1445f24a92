// Arguments: GetArg (text and number forms), GetArgCopy, ArgGiven.
#include "internal.h"

#include <limits>
#include <new>

namespace halvorin {

std::size_t ArgumentCount(const ArgList &args) {
    std::size_t n = args.Count();
    while (n > 0 && !args.Get(n))
        --n;
    return n;
}

namespace detail {
namespace {

// Argument n of a checked list, n from 1; n = 0 is the library's mistake.
std::optional<std::string_view> Argument(const ArgList &list, DWORD n, Service service) {
    if (n == 0) {
        HostError(service, "argument 0 (arguments count from 1)");
        return std::nullopt;
    }
    return list.Get(n);
}

DWORD Length(std::string_view text) {
    return text.size() > std::numeric_limits<DWORD>::max() ? std::numeric_limits<DWORD>::max()
                                                           : static_cast<DWORD>(text.size());
}

} // namespace

LPCSTR WINAPI GetArg(HOSTCTX ctx, HOSTARGS args, DWORD flags, DWORD *out) {
    Enter(Service::GetArg);
    if (!out) {
        HostError(Service::GetArg, "no out word");
        return nullptr;
    }
    *out = 0;
    Context(ctx, Service::GetArg);
    const ArgList *list = Arguments(args, Service::GetArg);
    if (!list)
        return nullptr;
    DWORD form = flags & ~HOST_ARG_INDEX;
    if (form != 0 && form != HOST_ARG_NUMBER) {
        HostError(Service::GetArg, "unknown flags " + std::to_string(flags));
        return nullptr;
    }
    std::optional<std::string_view> text = Argument(*list, flags & HOST_ARG_INDEX, Service::GetArg);
    if (!text)
        return nullptr;
    if (form == 0) {
        *out = Length(*text);
        return text->data();
    }
    if (text->empty())
        return nullptr;
    std::optional<DWORD> number = ParseRexxWhole(*text);
    if (!number) {
        *out = HOST_REASON_NOT_HANDLE; // given, but not such a number
        return nullptr;
    }
    *out = *number;
    return text->data();
}

LPSTR WINAPI GetArgCopy(HOSTCTX ctx, HOSTARGS args, DWORD n) {
    DWORD fault = Enter(Service::GetArgCopy);
    Context(ctx, Service::GetArgCopy);
    const ArgList *list = Arguments(args, Service::GetArgCopy);
    if (!list)
        return nullptr;
    std::optional<std::string_view> text = Argument(*list, n, Service::GetArgCopy);
    if (fault)
        return nullptr;
    try {
        return Allocate(Kind::Copy, text.value_or(std::string_view{}));
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

BOOL WINAPI ArgGiven(HOSTARGS args, DWORD n) {
    Enter(Service::ArgGiven);
    const ArgList *list = Arguments(args, Service::ArgGiven);
    if (!list)
        return FALSE;
    return Argument(*list, n, Service::ArgGiven) ? TRUE : FALSE;
}

} // namespace detail
} // namespace halvorin
