// unbrevanto's process entry in the Windows build: there is no C runtime, so
// no main; the entry routine ends the process itself and never returns.
#include "uninstall.h"

extern "C" void WINAPI Start(void)
{
    UninstallerEntry();
}
