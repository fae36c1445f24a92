// The service table the library receives through RexxGetHalvorinFuncs.
#include "internal.h"

#include <algorithm>
#include <cstring>

namespace halvorin {
namespace {

// Entries the library does not use: a call to one is reported, then returns 0.
template <int Index>
INT_PTR WINAPI Unused() {
    detail::Enter(Service::Unused);
    detail::HostError(Service::Unused, "service entry " + std::to_string(Index) + " called; it is not provided");
    return 0;
}

HOSTSERVICES MakeTable() {
    HOSTSERVICES t{};
    t.GetVar = detail::GetVar;
    t.SetVar = detail::SetVar;
    t.Entry2 = Unused<2>;
    t.Entry3 = Unused<3>;
    t.Entry4 = Unused<4>;
    t.MakeString = detail::MakeString;
    t.FreeMem = detail::FreeMem;
    t.RegisterFunctions = detail::RegisterFunctions;
    t.Entry8 = Unused<8>;
    t.Entry9 = Unused<9>;
    t.Entry10 = Unused<10>;
    t.Entry11 = Unused<11>;
    t.Entry12 = Unused<12>;
    t.Entry13 = Unused<13>;
    t.GetDefaultName = detail::GetDefaultName;
    t.GetCallerName = detail::GetCallerName;
    t.Entry16 = Unused<16>;
    t.GetArgCopy = detail::GetArgCopy;
    t.ParseKeywords = detail::ParseKeywords;
    t.GetArg = detail::GetArg;
    t.ArgGiven = detail::ArgGiven;
    t.StrToNum = detail::StrToNum;
    t.Entry22 = Unused<22>;
    return t;
}

} // namespace

const HOSTSERVICES &ServiceTable() {
    static const HOSTSERVICES table = MakeTable();
    return table;
}

DWORD GetHalvorinFuncs(HOSTSERVICES *table, DWORD size, DWORD level) {
    detail::Enter(Service::Table);
    if (level != HOST_INTERFACE_LEVEL)
        detail::HostError(Service::Table, "interface level " + std::to_string(level) + ", this host has " +
                                              std::to_string(HOST_INTERFACE_LEVEL));
    if (!table) {
        if (size)
            detail::HostError(Service::Table, "no table to fill");
        return 0;
    }
    std::memcpy(table, &ServiceTable(), std::min<std::size_t>(size, sizeof(HOSTSERVICES)));
    return 0;
}

} // namespace halvorin
