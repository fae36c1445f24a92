// InetCookie: the cookie store.
#include "../core/handlers.h"

HANDLER(InetCookie)
{
    (void)args;
    return NotAvailable(ctx, slot, "InetCookie");
}

