// Argument texts for Windows calls that take zero-terminated texts.
#include "arguments.h"
#include "state.h"

DWORD CopyText(HOSTCTX ctx, HOSTARGS args, DWORD n, LPSTR *copy)
{
    *copy = HOST.GetArgCopy(ctx, args, n);
    if (!*copy)
        return REXX_ERROR_RESOURCES;
    // The argument's own length tells a zero byte inside it from the copy's end.
    DWORD length = 0;
    HOST.GetArg(ctx, args, n, &length);
    if ((DWORD)lstrlenA(*copy) != length) {
        HOST.FreeMem(*copy);
        *copy = NULL;
        return ARGUMENT_ERROR(MINOR_ZERO_BYTE, n);
    }
    return 0;
}
