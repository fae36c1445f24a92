// The C runtime's start calls the program's entry routine, which never returns.
#include "uninstall.h"

int main(void)
{
    UninstallerEntry();
    return 0;
}
