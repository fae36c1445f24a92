// InetMatchName: listing the FTP server's files.
#include "../core/handlers.h"

HANDLER(InetMatchName)
{
    (void)args;
    return NotAvailable(ctx, slot, "InetMatchName");
}

