/* The sixteen REXX functions of the library. */
#ifndef BREVANTO_HANDLERS_H
#define BREVANTO_HANDLERS_H

#include "../host/host.h"

#define HANDLER(name) DWORD WINAPI name(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot)

HANDLER(InetClose);
HANDLER(InetConnect);
HANDLER(InetConnectUrl);
HANDLER(InetCookie);
HANDLER(InetDelete);
HANDLER(InetDial);
HANDLER(InetDir);
HANDLER(InetFile);
HANDLER(InetIn);
HANDLER(InetMatchName);
HANDLER(InetMaxIn);
HANDLER(InetOpen);
HANDLER(InetOption);
HANDLER(InetOut);
HANDLER(InetRename);
HANDLER(InetTime);

/* The registration tables handed to the interpreter. */
#define FUNCTION_COUNT 16
extern const BYTE FunctionNameList[];
extern FUNCTIONROW FunctionTable[FUNCTION_COUNT];

#endif
