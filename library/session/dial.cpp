// InetDial: dial-up networking.
#include "../core/handlers.h"

HANDLER(InetDial)
{
    (void)args;
    return NotAvailable(ctx, slot, "InetDial");
}

