/*
 * state.h: the one process-wide record every handler shares, the list of
 * open handles in it, and the routines that set it up and tear it down.
 */
#ifndef BREVANTO_STATE_H
#define BREVANTO_STATE_H

#include <windows.h>
#include <wininet.h>

#include "../host/host.h"

/* One open connection or URL handle. A script holds the node's address. */
typedef struct HandleNode {
    struct HandleNode *Next; /* 0 in the last node */
    HINTERNET Handle;        /* owned: closed before the node is released */
} HandleNode;

#define DIAL_BROUGHT_UP 0x02 /* the library brought the dial-up connection up */
#define DIAL_BY_NUMBER 0x01  /* ... with InternetDial, DialConnection holds its number */

typedef struct LibraryState {
    HINSTANCE ModuleInstance;
    HMODULE HostModule; /* nonzero only after a successful attach */
    HOSTSERVICES HostServiceTable;
    HINTERNET SessionHandle;  /* 0 = no session */
    HandleNode *HandleList;   /* head = the current handle */
    DWORD BufferSize;         /* reservation size while TransferBufferBase is 0, else committed size */
    LPVOID TransferBufferBase;
    DWORD_PTR DialConnection; /* InternetDial writes a pointer-sized number */
    DWORD PageSize;
    HINTERNET FindHandle;     /* FTP enumeration in progress; 0 = none */
    BYTE DialFlags;
} LibraryState;

extern LibraryState State;

/* The interpreter's services. */
#define HOST (State.HostServiceTable)

/* Handle list operations. */
void LinkAtHead(HandleNode *node);
void DropNewHead(void);
void CloseHead(void);
BOOL MakeCurrent(ULONG_PTR value);
BOOL CloseOne(ULONG_PTR value);

void SetUpTransferBuffer(void);
DWORD SessionTeardown(HOSTCTX ctx, RESULTSLOT *slot);

#ifdef __cplusplus
extern "C" {
#endif
/* The module's entry point; found by the loader, not exported. */
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
/* The library's only export (brevanto.def). */
DWORD WINAPI RexxFeedback(DWORD reason, DWORD param);
#ifdef __cplusplus
}
#endif

#endif
