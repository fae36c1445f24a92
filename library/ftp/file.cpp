// InetFile: whole-file FTP transfer.
#include "../core/handlers.h"

HANDLER(InetFile)
{
    (void)args;
    return NotAvailable(ctx, slot, "InetFile");
}

