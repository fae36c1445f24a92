// InetDir: directories of the FTP server behind the current connection.
#include "../core/arguments.h"
#include "../core/handlers.h"
#include "../core/report.h"
#include "../core/resource.h"
#include "../core/state.h"

// No value table: SET 0x1, GET 0x2, CREATE 0x4, DELETE 0x8.
static const BYTE DirOperationList[] = "\x03" "SET" "\x03" "GET" "\x06" "CREATE" "\x06" "DELETE";

#define DIR_SET 0x1u
#define DIR_GET 0x2u
#define DIR_CREATE 0x4u

// WinINet must fail rather than write past this: a longer directory is reported, never cut.
#define DIRECTORY_BUFFER_SIZE 260

// GET: the server's current directory into the variable argument 1 names.
static DWORD GetDirectory(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot)
{
    char directory[DIRECTORY_BUFFER_SIZE];
    DWORD size = sizeof directory;
    if (!FtpGetCurrentDirectoryA(State.HandleList->Handle, directory, &size))
        return ReportFailure(ctx, slot);

    LPSTR text = HOST.MakeString(ctx, (ULONG_PTR)directory, HOST_STR_TO_ZERO, HOST_STR_COPY);
    if (!text)
        return REXX_ERROR_RESOURCES;
    DWORD length;
    LPCSTR name = HOST.GetArg(ctx, args, 1, &length);
    // The string is the interpreter's from here on, stored or not.
    DWORD stored = HOST.SetVar(ctx, name, 0, (ULONG_PTR)text, HOST_SET_STRING);
    if (stored)
        return StoreFailure(name, stored, 1);
    return 0;
}

HANDLER(InetDir)
{
    if (!State.HandleList)
        return ReportResourceMessage(ctx, slot, NULL, IDS_NO_SERVER);

    DWORD operation = DIR_SET;
    slot->Value = HOST.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | HOST_KW_SINGLE | 2, DirOperationList, NULL,
                                     &operation, 0);
    if (slot->Value)
        return ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 2);

    if (operation == DIR_GET)
        return GetDirectory(ctx, args, slot);

    LPSTR directory;
    if (DWORD refused = CopyText(ctx, args, 1, &directory))
        return refused;
    HINTERNET connection = State.HandleList->Handle;
    BOOL done;
    if (operation == DIR_SET)
        done = FtpSetCurrentDirectoryA(connection, directory);
    else if (operation == DIR_CREATE)
        done = FtpCreateDirectoryA(connection, directory);
    else
        done = FtpRemoveDirectoryA(connection, directory);
    DWORD result = done ? 0 : ReportFailure(ctx, slot);
    HOST.FreeMem(directory);
    return result;
}
