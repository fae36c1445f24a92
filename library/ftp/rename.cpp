// InetRename and InetDelete: one remote file. Names go to WinINet as the script gave them.
#include "../core/handlers.h"
#include "../core/report.h"
#include "../core/resource.h"
#include "../core/state.h"

HANDLER(InetRename)
{
    if (!State.HandleList)
        return ReportResourceMessage(ctx, slot, NULL, IDS_NO_SERVER);

    LPSTR existing = HOST.GetArgCopy(ctx, args, 1);
    if (!existing)
        return REXX_ERROR_RESOURCES;
    LPSTR renamed = HOST.GetArgCopy(ctx, args, 2);
    if (!renamed) {
        HOST.FreeMem(existing);
        return REXX_ERROR_RESOURCES;
    }
    DWORD result = FtpRenameFileA(State.HandleList->Handle, existing, renamed) ? 0 : ReportFailure(ctx, slot);
    HOST.FreeMem(renamed);
    HOST.FreeMem(existing);
    return result;
}

HANDLER(InetDelete)
{
    if (!State.HandleList)
        return ReportResourceMessage(ctx, slot, NULL, IDS_NO_SERVER);

    LPSTR name = HOST.GetArgCopy(ctx, args, 1);
    if (!name)
        return REXX_ERROR_RESOURCES;
    DWORD result = FtpDeleteFileA(State.HandleList->Handle, name) ? 0 : ReportFailure(ctx, slot);
    HOST.FreeMem(name);
    return result;
}
