/* Keyword lists shared by more than one function. */
#ifndef BREVANTO_KEYWORDS_H
#define BREVANTO_KEYWORDS_H

#include <windows.h>

/* Proxy access types: InetOpen's argument 2 and InetOption's PROXY setting. */
extern const BYTE AccessTypeList[];
extern const DWORD AccessTypeValues[];

/* "FREE" in the option words of InetIn and InetOut. */
#define OPTION_FREE 0x2u

/* The length byte of keyword `index` (from 0) of a KeywordList. */
constexpr const BYTE *KeywordAt(const BYTE *list, DWORD index)
{
    while (index-- > 0)
        list += 1 + list[0];
    return list;
}

#endif
