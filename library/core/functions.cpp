// The function names and handler table the interpreter registers.
#include "handlers.h"

// Length-prefixed upper-case entries: the common prefix, then the suffixes in
// ascending order, row for row with FunctionTable; a zero length ends it.
const BYTE FunctionNameList[] =
    "\x04" "INET"
    "\x05" "CLOSE"
    "\x07" "CONNECT"
    "\x0A" "CONNECTURL"
    "\x06" "COOKIE"
    "\x06" "DELETE"
    "\x04" "DIAL"
    "\x03" "DIR"
    "\x04" "FILE"
    "\x02" "IN"
    "\x09" "MATCHNAME"
    "\x05" "MAXIN"
    "\x04" "OPEN"
    "\x06" "OPTION"
    "\x03" "OUT"
    "\x06" "RENAME"
    "\x04" "TIME";  // the literal's own zero byte ends the list

// Writable: the interpreter owns the link words.
FUNCTIONROW FunctionTable[FUNCTION_COUNT] = {
    {0, InetClose, 0, 1},      {0, InetConnect, 0, 7}, {0, InetConnectUrl, 2, 4}, {0, InetCookie, 1, 5},
    {0, InetDelete, 1, 1},     {0, InetDial, 0, 3},    {0, InetDir, 1, 2},        {0, InetFile, 1, 4},
    {0, InetIn, 1, 3},         {0, InetMatchName, 0, 3}, {0, InetMaxIn, 0, 1},    {0, InetOpen, 0, 5},
    {0, InetOption, 2, 3},     {0, InetOut, 1, 2},     {0, InetRename, 2, 2},     {0, InetTime, 1, 2},
};

static_assert(sizeof(FUNCTIONROW) == 2 * sizeof(ULONG_PTR) + 2, "rows are packed");
