// Loading, registration and teardown.
#include "report.h"
#include "resource.h"
#include "state.h"
#include "handlers.h"

#define DEFAULT_BUFFER_FLOOR 0x20000u

// Shows why the load is refused; the loader then unloads the library.
static BOOL RefuseLoad(HINSTANCE instance, UINT message)
{
    char text[100];
    if (LoadStringA(instance, message, text, sizeof text) <= 0)
        text[0] = '\0';
    MessageBoxA(NULL, text, "brevanto", MB_OK);
    return FALSE;
}

static BOOL Attach(HINSTANCE instance)
{
    State.ModuleInstance = instance;
    ZeroMemory((BYTE *)&State + offsetof(LibraryState, HostModule),
               sizeof State - offsetof(LibraryState, HostModule));

    // The interpreter is only found, never loaded by the library.
    HMODULE host = GetModuleHandleA(HOST_MODULE_NAME);
    if (!host)
        return RefuseLoad(instance, IDS_NEEDS_HOST);
    // Through void(*)(void): the one function pointer type any other converts to cleanly.
    GETHALVORINFUNCSPROC getFuncs =
        (GETHALVORINFUNCSPROC)(void (*)(void))GetProcAddress(host, HOST_GETFUNCS_EXPORT);
    if (!getFuncs)
        return RefuseLoad(instance, IDS_NEEDS_LATER_HOST); // HostModule stays 0: detach must not tear down
    State.HostModule = host;
    getFuncs(&State.HostServiceTable, sizeof State.HostServiceTable, HOST_INTERFACE_LEVEL);
    SetUpTransferBuffer();
    return TRUE;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        return Attach(instance);
    case DLL_THREAD_ATTACH:
        DisableThreadLibraryCalls(instance);
        return TRUE;
    case DLL_PROCESS_DETACH:
        if (State.HostModule)
            SessionTeardown(NULL, NULL);
        return TRUE;
    default:
        return TRUE;
    }
}

DWORD WINAPI RexxFeedback(DWORD reason, DWORD param)
{
    switch (reason) {
    case FEEDBACK_REGISTER:
        return HOST.RegisterFunctions(0, "brevanto", FunctionNameList, FunctionTable, param);
    case FEEDBACK_END_OF_SCRIPT:
        SessionTeardown(NULL, NULL);
        return 0;
    default:
        return 0;
    }
}

// The default reservation: the smallest page multiple by a power of two that reaches 128 KiB.
void SetUpTransferBuffer(void)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    State.PageSize = info.dwPageSize;
    State.BufferSize = State.PageSize;
    if (State.PageSize < DEFAULT_BUFFER_FLOOR) {
        DWORD size = State.PageSize;
        while (size && size < DEFAULT_BUFFER_FLOOR)
            size <<= 1;
        State.BufferSize = size;
    }
}

DWORD SessionTeardown(HOSTCTX ctx, RESULTSLOT *slot)
{
    if (!State.SessionHandle)
        return 0;
    while (State.HandleList)
        CloseHead();
    if (State.DialFlags & DIAL_BROUGHT_UP) {
        if (State.DialFlags & DIAL_BY_NUMBER)
            InternetHangUp(State.DialConnection, 0);
        else
            InternetAutodialHangup(0);
    }
    if (!InternetCloseHandle(State.SessionHandle) && slot)
        return ReportFailure(ctx, slot);
    if (State.TransferBufferBase)
        VirtualFree(State.TransferBufferBase, 0, MEM_RELEASE);
    if (State.FindHandle)
        InternetCloseHandle(State.FindHandle);
    State.DialFlags = 0;
    State.DialConnection = 0;
    State.BufferSize = 0;
    State.HandleList = NULL;
    State.FindHandle = NULL;
    State.TransferBufferBase = NULL;
    State.SessionHandle = NULL;
    SetUpTransferBuffer();
    return 0;
}
