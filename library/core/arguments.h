/* Argument texts for Windows calls that take zero-terminated texts. */
#ifndef BREVANTO_ARGUMENTS_H
#define BREVANTO_ARGUMENTS_H

#include "../host/host.h"

/* A zero-terminated copy of argument n (empty when it is omitted), the caller's
   to free. Returns 0, REXX error 5 when the interpreter has no memory for the
   copy, or error 40.22 for argument n when the text holds a zero byte: the call
   would see only the text before it. */
DWORD CopyText(HOSTCTX ctx, HOSTARGS args, DWORD n, LPSTR *copy);

#endif
