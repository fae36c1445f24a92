// InetOption: WinINet options; InetTime.
#include "../core/handlers.h"

HANDLER(InetOption)
{
    (void)args;
    return NotAvailable(ctx, slot, "InetOption");
}

// Registered beside InetOption; it does nothing at all.
HANDLER(InetTime)
{
    (void)ctx;
    (void)args;
    (void)slot;
    return 0;
}
