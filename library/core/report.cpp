// Failure reporting, steered by the script's INETERR and INETHEADING.
#include "report.h"
#include "state.h"

#define RESPONSE_TEXT_SIZE 200
#define SYSTEM_TEXT_SIZE 256
#define RESOURCE_TEXT_SIZE 60
#define LANGUAGE_USER_DEFAULT 0x400

static const char BadInetErr[] =
    "InetErr must be set to SYNTAX, ERROR, FAILURE, NUM, or a USER number from 1 to 200. Found %_";

DWORD ReportFailure(HOSTCTX ctx, RESULTSLOT *slot)
{
    DWORD code = GetLastError();
    char text[RESPONSE_TEXT_SIZE];
    BOOL haveText = FALSE;

    // The server's own words say more than "extended information".
    if (code == ERROR_INTERNET_EXTENDED_ERROR) {
        DWORD length = sizeof text;
        DWORD response = code;
        if (InternetGetLastResponseInfoA(&response, text, &length)) {
            text[sizeof text - 1] = '\0';
            code = response;
            haveText = TRUE;
        }
    }
    if (!haveText) {
        if (!FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, GetModuleHandleA("wininet.dll"), code, 0, text,
                            sizeof text, NULL) &&
            !FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, NULL, code, LANGUAGE_USER_DEFAULT, text, sizeof text, NULL))
            text[0] = '\0';
    }

    if (slot->ErrorMode == ERRORMODE_NONE) {
        slot->ErrorMode = ERRORMODE_SYNTAX;
        return ReportMessage(ctx, slot, NULL, text, code);
    }
    slot->Value = (ULONG_PTR)HOST.MakeString(ctx, (ULONG_PTR)text, HOST_STR_TO_ZERO, HOST_STR_COPY);
    // An empty result is success to the script: a failure without its text must not pass for one.
    return slot->Value ? 0 : REXX_ERROR_RESOURCES;
}

// A report whose text the interpreter has no memory for: without it a plain
// call would look like a success with an empty result.
static DWORD LackOfMemory(RESULTSLOT *slot)
{
    slot->ErrorMode = ERRORMODE_SYNTAX;
    return REXX_ERROR_RESOURCES;
}

DWORD ReportMessage(HOSTCTX ctx, RESULTSLOT *slot, LPCSTR *inserts, LPCSTR message, DWORD number)
{
    ULONG_PTR length = 0;
    DWORD report;
    LPCSTR badValue[2];

    if (HOST.GetVar(ctx, "INETHEADING", 0, &length, HOST_VAR_TEXT)) {
        report = REPORT_HEADING;
    } else {
        if (length == HOST_REASON_NO_MEMORY)
            return LackOfMemory(slot);
        report = REPORT_PLAIN;
    }

    length = 0;
    LPCSTR value = (LPCSTR)HOST.GetVar(ctx, "INETERR", 0, &length, HOST_VAR_TEXT);
    if (!value) {
        if (length == HOST_REASON_NO_MEMORY)
            return LackOfMemory(slot);
        slot->ErrorMode = ERRORMODE_NONE;
    } else {
        DWORD count = (DWORD)length;
        DWORD user = HOST.StrToNum(value, count, NULL, HOST_NUM_WHOLE);
        if (user >= 1 && user <= 200) {
            slot->ErrorMode = (LONG)user + ERRORMODE_USER_BASE;
        } else if (count == 3 && CompareNoCase(value, "NUM", 3) == 0) {
            slot->ErrorMode = ERRORMODE_NONE;
            slot->Value = (ULONG_PTR)HOST.MakeString(ctx, 0, number, HOST_STR_DECIMAL);
            return slot->Value ? report : LackOfMemory(slot);
        } else if (count == 5 && CompareNoCase(value, "ERROR", 5) == 0) {
            slot->ErrorMode = ERRORMODE_ERROR;
        } else if (count == 6 && CompareNoCase(value, "SYNTAX", 6) == 0) {
            // ErrorMode stays as it is: 5 when the report came through ReportFailure.
        } else if (count == 7 && CompareNoCase(value, "FAILURE", 7) == 0) {
            slot->ErrorMode = ERRORMODE_FAILURE;
        } else {
            message = BadInetErr;
            badValue[0] = value;
            badValue[1] = NULL;
            inserts = badValue;
            slot->ErrorMode = ERRORMODE_SYNTAX;
            report &= 0xFF000000u;
        }
    }

    if (!slot->Value) {
        slot->Value = (ULONG_PTR)HOST.MakeString(ctx, (ULONG_PTR)message, (ULONG_PTR)inserts, HOST_STR_FORMAT);
        if (!slot->Value)
            return LackOfMemory(slot);
    }
    return report;
}

DWORD ReportResourceMessage(HOSTCTX ctx, RESULTSLOT *slot, LPCSTR *inserts, UINT number)
{
    char text[RESOURCE_TEXT_SIZE];
    if (LoadStringA(State.ModuleInstance, number, text, sizeof text) <= 0)
        text[0] = '\0';
    return ReportMessage(ctx, slot, inserts, text, number);
}

DWORD ReportSystemFailure(HOSTCTX ctx, RESULTSLOT *slot)
{
    DWORD code = GetLastError();
    char text[SYSTEM_TEXT_SIZE];
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, NULL, code, LANGUAGE_USER_DEFAULT, text, sizeof text, NULL))
        text[0] = '\0';
    return ReportMessage(ctx, slot, NULL, text, code);
}

BYTE CompareNoCase(LPCSTR a, LPCSTR b, DWORD count)
{
    for (DWORD i = 0; i < count; i++) {
        BYTE x = (BYTE)(ULONG_PTR)CharUpperA((LPSTR)(ULONG_PTR)(BYTE)a[i]);
        BYTE y = (BYTE)(ULONG_PTR)CharUpperA((LPSTR)(ULONG_PTR)(BYTE)b[i]);
        if (x != y)
            return (BYTE)(x - y);
    }
    return 0;
}

// Storing what the script asked for failed: an error, never a quiet success.
DWORD StoreFailure(LPCSTR name, DWORD reason, DWORD position)
{
    if (reason == HOST_REASON_NO_MEMORY)
        return REXX_ERROR_RESOURCES;
    if (!name)
        return ARGUMENT_ERROR(MINOR_ARGUMENT_MISSING, position);
    return ARGUMENT_ERROR(MINOR_NOT_SYMBOL, position);
}
