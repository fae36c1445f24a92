// InetConnect: server connections, and switching between them.
#include "../core/arguments.h"
#include "../core/handlers.h"
#include "../core/report.h"
#include "../core/resource.h"
#include "../core/state.h"

static const BYTE ServiceList[] = "\x03" "FTP" "\x06" "GOPHER" "\x04" "HTTP";
static const DWORD ServiceValues[] = {INTERNET_SERVICE_FTP, INTERNET_SERVICE_GOPHER, INTERNET_SERVICE_HTTP};

static const BYTE ModeList[] = "\x06" "ACTIVE";
static const DWORD ModeValues[] = {INTERNET_FLAG_PASSIVE};

HANDLER(InetConnect)
{
    if (!State.SessionHandle)
        return ReportResourceMessage(ctx, slot, NULL, IDS_NO_SESSION);

    DWORD length;
    LPCSTR name = HOST.GetArg(ctx, args, 1, &length);

    // A variable holding a listed connection makes that connection current.
    ULONG_PTR value = 0;
    if (HOST.GetVar(ctx, name, 0, &value, HOST_VAR_NUMBER)) {
        if (value) {
            if (!MakeCurrent(value))
                return ARGUMENT_ERROR(MINOR_NOT_NONNEGATIVE, 1);
            return 0;
        }
    } else if (value == HOST_REASON_NOT_HANDLE) {
        return ARGUMENT_ERROR(MINOR_NOT_NONNEGATIVE, 1);
    } else if (value == HOST_REASON_NO_MEMORY) {
        // Not knowing what the variable holds, a new connection could take the
        // place of one it names: that one would be lost to the script.
        return REXX_ERROR_RESOURCES;
    }

    DWORD service = INTERNET_SERVICE_HTTP;
    slot->Value = HOST.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | HOST_KW_SINGLE | 3, ServiceList, ServiceValues,
                                     &service, 0);
    if (slot->Value)
        return ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 3);

    DWORD port = 0;
    if (!HOST.GetArg(ctx, args, HOST_ARG_NUMBER | 6, &port)) {
        if (port)
            return ARGUMENT_ERROR(MINOR_NOT_POSITIVE, 6);
        port = 0;
    }

    DWORD mode = 0;
    if (service == INTERNET_SERVICE_FTP) {
        slot->Value = HOST.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | 7, ModeList, ModeValues, &mode, 0);
        if (slot->Value)
            return ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 7);
    }

    LPSTR server, user, password;
    DWORD refused = CopyText(ctx, args, 2, &server);
    if (refused)
        return refused;
    refused = CopyText(ctx, args, 4, &user);
    if (refused) {
        HOST.FreeMem(server);
        return refused;
    }
    refused = CopyText(ctx, args, 5, &password);
    if (refused) {
        HOST.FreeMem(user);
        HOST.FreeMem(server);
        return refused;
    }

    DWORD result = 0;
    HandleNode *node = (HandleNode *)GlobalAlloc(GMEM_FIXED, sizeof(HandleNode));
    if (!node) {
        result = REXX_ERROR_RESOURCES;
    } else {
        LinkAtHead(node);
        // Ports above 65535 are not refused: the port parameter is 16 bits wide.
        node->Handle = InternetConnectA(State.SessionHandle, server, (INTERNET_PORT)port, user[0] ? user : NULL,
                                        password[0] ? password : NULL, service, mode ^ INTERNET_FLAG_PASSIVE, 0);
        if (!node->Handle) {
            result = ReportFailure(ctx, slot);
            DropNewHead();
        } else {
            DWORD stored = HOST.SetVar(ctx, name, 0, (ULONG_PTR)node, HOST_SET_NUMBER);
            if (stored) {
                // A connection the script cannot name would be lost to it: close it and say why.
                CloseHead();
                result = StoreFailure(name, stored, 1);
            }
        }
    }
    HOST.FreeMem(password);
    HOST.FreeMem(user);
    HOST.FreeMem(server);
    return result;
}
