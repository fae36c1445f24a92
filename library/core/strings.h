/* Host strings filled by a WinINet call that delivered fewer bytes than they hold. */
#ifndef BREVANTO_STRINGS_H
#define BREVANTO_STRINGS_H

#include "../host/host.h"

/* A string of the first `length` bytes of `string`, which is released either way; 0 when
   the interpreter has no memory for it. */
LPSTR Shortened(HOSTCTX ctx, LPSTR string, DWORD length);

#endif
