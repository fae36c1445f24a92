/* Keyword lists shared by more than one function. */
#ifndef BREVANTO_KEYWORDS_H
#define BREVANTO_KEYWORDS_H

#include <windows.h>

/* Proxy access types: InetOpen's argument 2 and InetOption's PROXY setting. */
extern const BYTE AccessTypeList[];
extern const DWORD AccessTypeValues[];

/* "FREE" in the option words of InetIn and InetOut. */
#define OPTION_FREE 0x2u

#endif
