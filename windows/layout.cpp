// The 32-bit layout of the records the interpreter reads by offset: the
// interpreter was built against these sizes, so this build must match them.
#include "core/handlers.h"
#include "core/state.h"

static_assert(sizeof(void *) == 4, "the Windows build is 32-bit");

static_assert(sizeof(FUNCTIONROW) == 10, "FUNCTIONROW: two words and two bytes, packed");
static_assert(offsetof(FUNCTIONROW, Handler) == 4, "FUNCTIONROW.Handler");
static_assert(offsetof(FUNCTIONROW, MinArgs) == 8, "FUNCTIONROW.MinArgs");
static_assert(offsetof(FUNCTIONROW, MaxArgs) == 9, "FUNCTIONROW.MaxArgs");
static_assert(sizeof FunctionTable == 160, "sixteen rows of 10 bytes");

static_assert(sizeof(RESULTSLOT) == 12, "RESULTSLOT: three 32-bit words");
static_assert(offsetof(RESULTSLOT, Reserved) == 4, "RESULTSLOT.Reserved");
static_assert(offsetof(RESULTSLOT, ErrorMode) == 8, "RESULTSLOT.ErrorMode");

// The size handed to RexxGetHalvorinFuncs: 23 four-byte entries.
static_assert(sizeof(HOSTSERVICES) == 92, "HOSTSERVICES: 23 entries");
static_assert(offsetof(HOSTSERVICES, MakeString) == 5 * 4, "HOSTSERVICES.MakeString");
static_assert(offsetof(HOSTSERVICES, RegisterFunctions) == 7 * 4, "HOSTSERVICES.RegisterFunctions");
static_assert(offsetof(HOSTSERVICES, GetDefaultName) == 14 * 4, "HOSTSERVICES.GetDefaultName");
static_assert(offsetof(HOSTSERVICES, GetArgCopy) == 17 * 4, "HOSTSERVICES.GetArgCopy");
static_assert(offsetof(HOSTSERVICES, StrToNum) == 21 * 4, "HOSTSERVICES.StrToNum");

static_assert(sizeof(HandleNode) == 8, "HandleNode: two 32-bit addresses");
static_assert(sizeof(State.DialConnection) == 4, "LibraryState.DialConnection: the number InternetDial writes");
