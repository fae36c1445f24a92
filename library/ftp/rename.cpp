// InetRename and InetDelete: one remote file.
#include "../core/handlers.h"

HANDLER(InetRename)
{
    (void)args;
    return NotAvailable(ctx, slot, "InetRename");
}

HANDLER(InetDelete)
{
    (void)args;
    return NotAvailable(ctx, slot, "InetDelete");
}

