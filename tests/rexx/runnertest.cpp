// runnertest.dll: a library for the runner's own tests. It binds to the
// interpreter as brevanto does and registers functions that drive the host
// from a handler: arguments, variables, stems, find records, keywords, long
// results, and every ErrorCode with a chosen ErrorMode.
//
// When RUNNERTEST_LOG names a file, the load, the feedback calls and the
// unload are appended to it, one line each.
#include <host/host.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HOSTSERVICES host;
bool bound = false;

void Log(const char *event) {
    const char *path = std::getenv("RUNNERTEST_LOG");
    if (!path || !*path)
        return;
    if (FILE *f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", event);
        std::fclose(f);
    }
}

// The text of argument n (any bytes) and whether it was given.
std::string Arg(HOSTCTX ctx, HOSTARGS args, DWORD n, bool *given = nullptr) {
    DWORD length = 0;
    LPCSTR text = host.GetArg(ctx, args, n, &length);
    if (given)
        *given = text != nullptr;
    return text ? std::string(text, length) : std::string();
}

DWORD Result(HOSTCTX ctx, RESULTSLOT *slot, const std::string &text) {
    LPSTR s = host.MakeString(ctx, reinterpret_cast<ULONG_PTR>(text.data()), text.size(), HOST_STR_COPY);
    if (!s)
        return REXX_ERROR_RESOURCES;
    slot->Value = reinterpret_cast<ULONG_PTR>(s);
    return 0;
}

DWORD Decimal(HOSTCTX ctx, RESULTSLOT *slot, ULONG_PTR value) {
    LPSTR s = host.MakeString(ctx, 0, value, HOST_STR_DECIMAL);
    if (!s)
        return REXX_ERROR_RESOURCES;
    slot->Value = reinterpret_cast<ULONG_PTR>(s);
    return 0;
}

LPSTR Make(HOSTCTX ctx, const std::string &text) {
    return host.MakeString(ctx, reinterpret_cast<ULONG_PTR>(text.data()), text.size(), HOST_STR_COPY);
}

// RtArgs(...): for each position up to 7, its length or "-" when omitted; trailing "-" left off.
DWORD WINAPI RtArgs(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    std::string text;
    std::string pending;
    for (DWORD n = 1; n <= 7; ++n) {
        bool given = false;
        std::string value = Arg(ctx, args, n, &given);
        if (!given) {
            pending += pending.empty() && text.empty() ? "-" : " -";
            continue;
        }
        text += pending;
        pending.clear();
        text += (text.empty() ? "" : " ") + std::to_string(value.size());
    }
    return Result(ctx, slot, text);
}

// RtCopy(text, [how]): the argument back, whole, or with COPY through GetArgCopy
// (read up to its first zero byte); LEAK takes a copy and never frees it.
DWORD WINAPI RtCopy(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    std::string how = Arg(ctx, args, 2);
    if (how == "LEAK" && !host.GetArgCopy(ctx, args, 1))
        return REXX_ERROR_RESOURCES;
    if (how == "COPY") {
        LPSTR copy = host.GetArgCopy(ctx, args, 1);
        if (!copy)
            return REXX_ERROR_RESOURCES;
        DWORD err = Result(ctx, slot, copy);
        host.FreeMem(copy);
        return err;
    }
    return Result(ctx, slot, Arg(ctx, args, 1));
}

// RtSetVar(name, value): SetVar with a string; returns the reason, 0 = stored.
// An omitted value drops the variable.
DWORD WINAPI RtSetVar(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    std::string name = Arg(ctx, args, 1);
    bool given = false;
    std::string value = Arg(ctx, args, 2, &given);
    LPSTR s = nullptr;
    if (given && !(s = Make(ctx, value)))
        return REXX_ERROR_RESOURCES;
    return Decimal(ctx, slot, host.SetVar(ctx, name.c_str(), 0, reinterpret_cast<ULONG_PTR>(s), HOST_SET_STRING));
}

// RtGetVar(name): the value, or "(reason N)" when there is none.
DWORD WINAPI RtGetVar(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    std::string name = Arg(ctx, args, 1);
    ULONG_PTR out = 0;
    ULONG_PTR text = host.GetVar(ctx, name.c_str(), 0, &out, HOST_VAR_TEXT);
    if (!text)
        return Result(ctx, slot, "(reason " + std::to_string(out) + ")");
    return Result(ctx, slot, std::string(reinterpret_cast<const char *>(text), out));
}

// RtSetHandle(name): stores a pointer-sized value as a number; returns its decimal text.
DWORD WINAPI RtSetHandle(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    static const char anchor = 0;
    std::string name = Arg(ctx, args, 1);
    auto value = reinterpret_cast<ULONG_PTR>(&anchor);
    if (DWORD reason = host.SetVar(ctx, name.c_str(), 0, value, HOST_SET_NUMBER))
        return Result(ctx, slot, "(reason " + std::to_string(reason) + ")");
    return Decimal(ctx, slot, value);
}

// RtGetNumber(name): GetVar's number form; the number, or "(reason N)".
DWORD WINAPI RtGetNumber(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    std::string name = Arg(ctx, args, 1);
    ULONG_PTR out = 0;
    if (!host.GetVar(ctx, name.c_str(), 0, &out, HOST_VAR_NUMBER))
        return Result(ctx, slot, "(reason " + std::to_string(out) + ")");
    return Decimal(ctx, slot, out);
}

// RtSetElement(stem, index, value): element `index` of the stem; returns the reason.
DWORD WINAPI RtSetElement(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    std::string stem = Arg(ctx, args, 1);
    DWORD index = 0;
    host.GetArg(ctx, args, HOST_ARG_NUMBER | 2, &index);
    bool given = false;
    std::string value = Arg(ctx, args, 3, &given);
    LPSTR s = nullptr;
    if (given && !(s = Make(ctx, value)))
        return REXX_ERROR_RESOURCES;
    return Decimal(ctx, slot,
                   host.SetVar(ctx, stem.c_str(), 0, reinterpret_cast<ULONG_PTR>(s), HOST_SET_ELEMENT + index));
}

// RtGetElement(stem, index): the element's text, or "(reason N)".
DWORD WINAPI RtGetElement(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    std::string stem = Arg(ctx, args, 1);
    DWORD index = 0;
    host.GetArg(ctx, args, HOST_ARG_NUMBER | 2, &index);
    ULONG_PTR out = index;
    ULONG_PTR text = host.GetVar(ctx, stem.c_str(), 0, &out, HOST_VAR_ELEMENT);
    if (!text)
        return Result(ctx, slot, "(reason " + std::to_string(out) + ")");
    return Result(ctx, slot, std::string(reinterpret_cast<const char *>(text), out));
}

ULONGLONG Number(const std::string &text) { return std::strtoull(text.c_str(), nullptr, 0); }

// RtFind(name, file, size, attributes, writetime): a find record into `name`;
// size and writetime (FILETIME ticks) as 64-bit numbers. Returns the reason.
DWORD WINAPI RtFind(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    std::string name = Arg(ctx, args, 1);
    std::string file = Arg(ctx, args, 2);
    WIN32_FIND_DATAA data{};
    ULONGLONG size = Number(Arg(ctx, args, 3));
    ULONGLONG time = Number(Arg(ctx, args, 5));
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
    data.dwFileAttributes = static_cast<DWORD>(Number(Arg(ctx, args, 4)));
    data.ftLastWriteTime.dwHighDateTime = static_cast<DWORD>(time >> 32);
    data.ftLastWriteTime.dwLowDateTime = static_cast<DWORD>(time);
    data.dwReserved0 = static_cast<DWORD>(name.size());
    file.copy(data.cFileName, sizeof data.cFileName - 1);
    return Decimal(ctx, slot, host.SetVar(ctx, name.c_str(), 0, reinterpret_cast<ULONG_PTR>(&data), HOST_SET_FINDRECORD));
}

// RtKeyword(words): ParseKeywords over ALPHA BETA GAMMA as the library does;
// the OR of their bits, or error 40.28 with the rejected word.
DWORD WINAPI RtKeyword(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    static const BYTE keywords[] = "\5ALPHA\4BETA\5GAMMA";
    DWORD value = 0;
    ULONG_PTR rejected = host.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | 1, keywords, nullptr, &value, 0);
    slot->Value = rejected;
    if (rejected)
        return ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 1);
    return Decimal(ctx, slot, value);
}

// RtFail(code, mode, text): returns ErrorCode `code` with ErrorMode `mode`,
// and `text` in the ResultSlot when given. Numbers in C notation ("0x1C0228", "-1").
DWORD WINAPI RtFail(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    DWORD code = static_cast<DWORD>(std::strtoul(Arg(ctx, args, 1).c_str(), nullptr, 0));
    bool modeGiven = false;
    std::string mode = Arg(ctx, args, 2, &modeGiven);
    if (modeGiven)
        slot->ErrorMode = static_cast<LONG>(std::strtol(mode.c_str(), nullptr, 0));
    bool textGiven = false;
    std::string text = Arg(ctx, args, 3, &textGiven);
    if (textGiven) {
        if (DWORD err = Result(ctx, slot, text))
            return err;
    }
    return code;
}

// RtMode(): the ErrorMode the handler was called with.
DWORD WINAPI RtMode(HOSTCTX ctx, HOSTARGS, RESULTSLOT *slot) {
    return Result(ctx, slot, std::to_string(slot->ErrorMode));
}

// RtLong(n): a result of n bytes, "0123456789" repeated.
DWORD WINAPI RtLong(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    DWORD n = 0;
    host.GetArg(ctx, args, HOST_ARG_NUMBER | 1, &n);
    std::string text;
    for (DWORD i = 0; i < n; ++i)
        text += static_cast<char>('0' + i % 10);
    return Result(ctx, slot, text);
}

// RtCaller(): the caller name the host reports.
DWORD WINAPI RtCaller(HOSTCTX ctx, HOSTARGS, RESULTSLOT *slot) {
    ULONG_PTR out = 0;
    if (!host.GetCallerName(ctx, &out, HOST_CALLER_NAME, 0))
        return Result(ctx, slot, "(none)");
    return Result(ctx, slot, reinterpret_cast<const char *>(out) + 1);
}

// RtRange(a, [b]): takes one or two arguments.
DWORD WINAPI RtRange(HOSTCTX ctx, HOSTARGS, RESULTSLOT *slot) { return Result(ctx, slot, "ok"); }

// Rows in the order of the suffixes below.
FUNCTIONROW functions[] = {
    {0, RtArgs, 0, 7},       {0, RtCaller, 0, 0},    {0, RtCopy, 1, 2},   {0, RtFail, 1, 3},
    {0, RtFind, 5, 5},       {0, RtGetElement, 2, 2}, {0, RtGetNumber, 1, 1}, {0, RtGetVar, 1, 1},
    {0, RtKeyword, 0, 1},    {0, RtLong, 1, 1},      {0, RtMode, 0, 0},   {0, RtRange, 1, 2},
    {0, RtSetElement, 2, 3}, {0, RtSetHandle, 1, 1}, {0, RtSetVar, 1, 2},
};
const BYTE names[] = "\2RT"
                     "\4ARGS\6CALLER\4COPY\4FAIL\4FIND\12GETELEMENT\11GETNUMBER\6GETVAR"
                     "\7KEYWORD\4LONG\4MODE\5RANGE\12SETELEMENT\11SETHANDLE\6SETVAR";

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        HMODULE interpreter = GetModuleHandleA(HOST_MODULE_NAME);
        if (!interpreter)
            return FALSE;
        auto get = reinterpret_cast<GETHALVORINFUNCSPROC>(
            reinterpret_cast<void *>(GetProcAddress(interpreter, HOST_GETFUNCS_EXPORT)));
        if (!get)
            return FALSE;
        get(&host, sizeof host, HOST_INTERFACE_LEVEL);
        bound = true;
        Log("attach");
    } else if (reason == DLL_PROCESS_DETACH && bound) {
        Log("detach");
    }
    return TRUE;
}

extern "C" __attribute__((visibility("default"))) DWORD WINAPI RexxFeedback(DWORD reason, DWORD param) {
    Log(reason == FEEDBACK_REGISTER ? "feedback 1" : reason == FEEDBACK_END_OF_SCRIPT ? "feedback 0" : "feedback ?");
    if (reason == FEEDBACK_REGISTER)
        return host.RegisterFunctions(0, "runnertest", names, functions, param);
    return 0;
}
