// The transfer buffer and InetMaxIn.
#include "buffer.h"
#include "../core/handlers.h"
#include "../core/keywords.h"
#include "../core/state.h"

static ULONGLONG RoundUpToPages(ULONGLONG n)
{
    ULONGLONG rounded = n / State.PageSize * State.PageSize;
    if (rounded != n)
        rounded += State.PageSize;
    return rounded;
}

BOOL CommitTransferBuffer(ULONGLONG size)
{
    if (!State.TransferBufferBase) {
        LPVOID base = VirtualAlloc(NULL, State.BufferSize, MEM_RESERVE, PAGE_READWRITE);
        if (!base)
            return FALSE;
        State.TransferBufferBase = base;
        State.BufferSize = 0;
    }
    ULONGLONG want = RoundUpToPages(size);
    if (want <= State.BufferSize)
        return TRUE;
    // Only the pages not yet committed; a range past the reservation fails in VirtualAlloc.
    if (!VirtualAlloc((BYTE *)State.TransferBufferBase + State.BufferSize, (SIZE_T)(want - State.BufferSize),
                      MEM_COMMIT, PAGE_READWRITE))
        return FALSE;
    State.BufferSize = (DWORD)want;
    return TRUE;
}

void DecommitTransferBuffer(void)
{
    if (!State.TransferBufferBase)
        return;
    if (State.BufferSize)
        VirtualFree(State.TransferBufferBase, State.BufferSize, MEM_DECOMMIT);
    State.BufferSize = 0;
}

void ReleaseTransferBuffer(void)
{
    if (State.TransferBufferBase)
        VirtualFree(State.TransferBufferBase, 0, MEM_RELEASE);
}

void CloseCurrentIfFree(DWORD flags)
{
    if (flags & OPTION_FREE)
        CloseHead();
}

HANDLER(InetMaxIn)
{
    DWORD n = 0;
    if (!HOST.GetArg(ctx, args, HOST_ARG_NUMBER | 1, &n)) {
        if (n)
            return ARGUMENT_ERROR(MINOR_NOT_POSITIVE, 1);
        n = 0;
    }

    DWORD value;
    if (n) {
        ReleaseTransferBuffer();
        State.TransferBufferBase = NULL;
        // A maximum whose rounding up to whole pages would pass the 32-bit range
        // becomes the largest whole number of pages that fits in it.
        ULONGLONG rounded = RoundUpToPages(n);
        if (rounded > MAXDWORD)
            rounded = (ULONGLONG)MAXDWORD / State.PageSize * State.PageSize;
        State.BufferSize = (DWORD)rounded;
        value = State.BufferSize;
    } else if (State.TransferBufferBase) {
        // Between calls every page is decommitted: the region is the whole reservation.
        MEMORY_BASIC_INFORMATION region;
        region.RegionSize = 0;
        VirtualQuery(State.TransferBufferBase, &region, sizeof region);
        value = (DWORD)region.RegionSize;
    } else {
        value = State.BufferSize;
    }

    slot->Value = (ULONG_PTR)HOST.MakeString(ctx, 0, value, HOST_STR_DECIMAL);
    return slot->Value ? 0 : REXX_ERROR_RESOURCES;
}
