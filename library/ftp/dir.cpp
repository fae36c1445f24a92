// InetDir: directories of the FTP server.
#include "../core/handlers.h"

HANDLER(InetDir)
{
    (void)args;
    return NotAvailable(ctx, slot, "InetDir");
}

