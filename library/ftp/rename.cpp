// InetRename and InetDelete: one remote file. Names go to WinINet as the script gave them.
#include "../core/arguments.h"
#include "../core/handlers.h"
#include "../core/report.h"
#include "../core/resource.h"
#include "../core/state.h"

HANDLER(InetRename)
{
    if (!State.HandleList)
        return ReportResourceMessage(ctx, slot, NULL, IDS_NO_SERVER);

    LPSTR existing, renamed;
    if (DWORD refused = CopyText(ctx, args, 1, &existing))
        return refused;
    if (DWORD refused = CopyText(ctx, args, 2, &renamed)) {
        HOST.FreeMem(existing);
        return refused;
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

    LPSTR name;
    if (DWORD refused = CopyText(ctx, args, 1, &name))
        return refused;
    DWORD result = FtpDeleteFileA(State.HandleList->Handle, name) ? 0 : ReportFailure(ctx, slot);
    HOST.FreeMem(name);
    return result;
}
