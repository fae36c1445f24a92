/*
 * commctrl.h: the common controls (COMCTL32). Their declarations are in this
 * tree's windows.h; the header exists so that sources include what the
 * Windows SDK asks of them.
 */
#ifndef PLATFORM_COMMCTRL_H
#define PLATFORM_COMMCTRL_H

#include <windows.h>

#endif
