// The shared state record and the handle list.
#include "state.h"

LibraryState State;

// Done before the WinINet call that yields the node's handle.
void LinkAtHead(HandleNode *node)
{
    node->Next = State.HandleList;
    State.HandleList = node;
}

// The WinINet call failed: there is no handle to close.
void DropNewHead(void)
{
    HandleNode *node = State.HandleList;
    State.HandleList = node->Next;
    GlobalFree(node);
}

void CloseHead(void)
{
    HandleNode *node = State.HandleList;
    InternetCloseHandle(node->Handle);
    State.HandleList = node->Next;
    GlobalFree(node);
}

// A script's value is only ever compared with the listed node addresses:
// unlinks the node with that address; its predecessor takes its Next.
static HandleNode *Unlink(ULONG_PTR value)
{
    for (HandleNode **link = &State.HandleList; *link; link = &(*link)->Next) {
        HandleNode *node = *link;
        if ((ULONG_PTR)node == value) {
            *link = node->Next;
            return node;
        }
    }
    return NULL;
}

BOOL MakeCurrent(ULONG_PTR value)
{
    HandleNode *node = Unlink(value);
    if (!node)
        return FALSE;
    LinkAtHead(node);
    return TRUE;
}

BOOL CloseOne(ULONG_PTR value)
{
    HandleNode *node = Unlink(value);
    if (!node)
        return FALSE;
    InternetCloseHandle(node->Handle);
    GlobalFree(node);
    return TRUE;
}
