// Host strings cut to what was filled in.
#include "strings.h"
#include "state.h"

// A host string cannot shrink: the bytes move to one of the right length.
LPSTR Shortened(HOSTCTX ctx, LPSTR string, DWORD length)
{
    LPSTR shorter = HOST.MakeString(ctx, (ULONG_PTR)string, length, HOST_STR_COPY);
    HOST.FreeMem(string);
    return shorter;
}
