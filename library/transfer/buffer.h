/* The transfer buffer: one reservation, committed page by page as data arrives. */
#ifndef BREVANTO_BUFFER_H
#define BREVANTO_BUFFER_H

#include <windows.h>

/* Makes sure at least `size` bytes, rounded up to whole pages, are committed from the base.
   The count is 64-bit so that "what we hold plus one page" never wraps. */
BOOL CommitTransferBuffer(ULONGLONG size);
void DecommitTransferBuffer(void);
void ReleaseTransferBuffer(void);
void CloseCurrentIfFree(DWORD flags);

#endif
