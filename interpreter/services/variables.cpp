// Variables: GetVar and SetVar over the host's pool, stem elements, and the
// find record turned into compound variables.
#include "internal.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

namespace halvorin::detail {
namespace {

// "S." and "S" both name the stem S; its elements are S.1, S.2 ...
std::string StemBase(std::string_view name) {
    if (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    return std::string(name);
}

std::string ElementName(std::string_view name, ULONG_PTR index) {
    return StemBase(name) + "." + std::to_string(static_cast<ULONGLONG>(index));
}

// The name as a view; a null name is empty, and so is not a symbol. A name
// that is one of the call's arguments, or a host copy or string, is taken
// whole: a zero byte inside it does not cut it short (and makes it no symbol).
std::string_view NameOf(const HOSTCTX__ *frame, LPCSTR name) {
    if (!name)
        return {};
    if (frame && frame->args.list) {
        const ArgList &args = *frame->args.list;
        for (std::size_t n = 1; n <= args.Count(); ++n) {
            std::optional<std::string_view> text = args.Get(n);
            if (text && text->data() == name)
                return *text;
        }
    }
    if (std::optional<std::size_t> length = LiveLength(name))
        return {name, *length};
    return name;
}

// "YYYY-MM-DD HH:MM:SS" UTC; empty for a zero time and for one past the year 9999.
std::string WriteTime(const FILETIME &time) {
    ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    if (ticks == 0)
        return {};
    using namespace std::chrono;
    constexpr long long kSeconds1601To1970 = 11644473600LL;
    constexpr long long kLastSecond = 253402300799LL; // 9999-12-31 23:59:59 after 1970
    long long seconds = static_cast<long long>(ticks / 10000000u) - kSeconds1601To1970;
    if (seconds > kLastSecond)
        return {};
    sys_seconds point{std::chrono::seconds{seconds}};
    sys_days day = floor<days>(point);
    year_month_day date{day};
    hh_mm_ss clock{point - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

std::string_view Bounded(const char *text, std::size_t size) { return {text, strnlen(text, size)}; }

// NAME. gets NAME.NAME, NAME.SIZE ...; NAME gets the file name itself and the same compound variables.
DWORD StoreFindRecord(VariablePool &pool, std::string_view name, const WIN32_FIND_DATAA &record) {
    std::string_view fileName = Bounded(record.cFileName, sizeof record.cFileName);
    if (name.back() != '.')
        if (DWORD r = pool.Set(name, fileName))
            return r;
    std::string base = StemBase(name) + ".";
    ULONGLONG size = (static_cast<ULONGLONG>(record.nFileSizeHigh) << 32) | record.nFileSizeLow;
    const std::pair<const char *, std::string> fields[] = {
        {"NAME", std::string(fileName)},
        {"SIZE", std::to_string(size)},
        {"ATTRIBUTES", std::to_string(record.dwFileAttributes)},
        {"DIRECTORY", (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "1" : "0"},
        {"WRITETIME", WriteTime(record.ftLastWriteTime)},
        {"ALTNAME", std::string(Bounded(record.cAlternateFileName, sizeof record.cAlternateFileName))},
    };
    for (const auto &[field, value] : fields)
        if (DWORD r = pool.Set(base + field, value))
            return r;
    return 0;
}

enum class SetForm { String, Number, Element, ElementNumber, FindRecord, Unknown };

SetForm FormOf(DWORD flags) {
    if (flags == HOST_SET_STRING)
        return SetForm::String;
    if (flags == HOST_SET_NUMBER)
        return SetForm::Number;
    if (flags == HOST_SET_FINDRECORD)
        return SetForm::FindRecord;
    if ((flags & ~HOST_SET_INDEX) == HOST_SET_ELEMENT)
        return SetForm::Element;
    if ((flags & ~HOST_SET_INDEX) == HOST_SET_ELEMENT_NUMBER)
        return SetForm::ElementNumber;
    return SetForm::Unknown;
}

} // namespace

ULONG_PTR WINAPI GetVar(HOSTCTX ctx, LPCSTR name, ULONG_PTR reserved, ULONG_PTR *out, DWORD flags) {
    DWORD fault = Enter(Service::GetVar);
    if (!out) {
        HostError(Service::GetVar, "no out word");
        return 0;
    }
    if (reserved)
        HostError(Service::GetVar, "reserved word not 0");
    HOSTCTX__ *frame = Context(ctx, Service::GetVar);
    bool element = flags == HOST_VAR_ELEMENT || flags == HOST_VAR_ELEMENT_REASON;
    if (!element && flags != HOST_VAR_NUMBER && flags != HOST_VAR_TEXT) {
        HostError(Service::GetVar, "unknown flags " + std::to_string(flags));
        *out = HOST_REASON_BAD_CALL;
        return 0;
    }
    if (!frame) {
        *out = HOST_REASON_BAD_CALL;
        return 0;
    }
    if (fault) {
        *out = fault;
        return 0;
    }
    std::string_view symbol = NameOf(frame, name);
    if (!IsVariableSymbol(symbol)) {
        *out = HOST_REASON_BAD_NAME;
        return 0;
    }
    try {
        std::string elementName;
        if (element)
            elementName = ElementName(symbol, *out);
        std::string value;
        DWORD r = frame->pool->Fetch(element ? std::string_view(elementName) : symbol, value);
        if (r) {
            *out = r;
            return 0;
        }
        if (flags == HOST_VAR_NUMBER) {
            std::optional<ULONGLONG> number = ParsePlainWhole(value, std::numeric_limits<ULONG_PTR>::max());
            if (!number) {
                *out = HOST_REASON_NOT_HANDLE;
                return 0;
            }
            *out = static_cast<ULONG_PTR>(*number);
            return 1;
        }
        const std::string &kept = frame->texts.emplace_back(std::move(value));
        *out = kept.size();
        return reinterpret_cast<ULONG_PTR>(kept.c_str());
    } catch (const std::bad_alloc &) {
        *out = HOST_REASON_NO_MEMORY;
        return 0;
    } catch (...) {
        HostError(Service::GetVar, "the variable pool failed");
        *out = HOST_REASON_NO_MEMORY;
        return 0;
    }
}

DWORD WINAPI SetVar(HOSTCTX ctx, LPCSTR name, ULONG_PTR reserved, ULONG_PTR value, DWORD flags) {
    DWORD fault = Enter(Service::SetVar);
    SetForm form = FormOf(flags);
    if (form == SetForm::Unknown) {
        HostError(Service::SetVar, "unknown flags " + std::to_string(flags));
        return HOST_REASON_BAD_CALL;
    }
    // A string handed over is the interpreter's from here on, whatever becomes of the store.
    std::optional<Handover> text;
    if ((form == SetForm::String || form == SetForm::Element) && value) {
        text = TakeOver(value, Service::SetVar);
        if (!text)
            return HOST_REASON_BAD_CALL;
    }
    if (reserved)
        HostError(Service::SetVar, "reserved word not 0");
    HOSTCTX__ *frame = Context(ctx, Service::SetVar);
    if (!frame)
        return HOST_REASON_BAD_CALL;
    if (form == SetForm::FindRecord && !value) {
        HostError(Service::SetVar, "find record without a record");
        return HOST_REASON_BAD_CALL;
    }
    if (fault)
        return fault;
    try {
        VariablePool &pool = *frame->pool;
        if (form == SetForm::FindRecord) {
            const auto &record = *reinterpret_cast<const WIN32_FIND_DATAA *>(value);
            std::string_view symbol = name ? std::string_view(name, strnlen(name, record.dwReserved0)) : "";
            if (!IsVariableSymbol(symbol))
                return HOST_REASON_BAD_NAME;
            return StoreFindRecord(pool, symbol, record);
        }
        std::string_view symbol = NameOf(frame, name);
        if (!IsVariableSymbol(symbol))
            return HOST_REASON_BAD_NAME;
        DWORD index = flags & HOST_SET_INDEX;
        switch (form) {
        case SetForm::String:
            return text ? pool.Set(symbol, text->text()) : pool.Drop(symbol);
        case SetForm::Number:
            return pool.Set(symbol, std::to_string(static_cast<ULONGLONG>(value)));
        case SetForm::Element:
            return text ? pool.Set(ElementName(symbol, index), text->text()) : pool.Drop(ElementName(symbol, index));
        case SetForm::ElementNumber:
            return pool.Set(ElementName(symbol, index), std::to_string(static_cast<ULONGLONG>(value)));
        default:
            return HOST_REASON_BAD_CALL;
        }
    } catch (const std::bad_alloc &) {
        return HOST_REASON_NO_MEMORY;
    } catch (...) {
        HostError(Service::SetVar, "the variable pool failed");
        return HOST_REASON_NO_MEMORY;
    }
}

} // namespace halvorin::detail
