// The uninstaller: one modeless dialog; OK removes the library's shared-library
// reference, the library file and the uninstall key, then a hidden batch file
// removes this program and its folder once the program has ended.
#include "uninstall.h"
#include "resource.h"

HINSTANCE ModuleInstance;
HWND Dialog;

static void StepProgress(void)
{
    SendDlgItemMessageA(Dialog, IDC_PROGRESS, PBM_STEPIT, 0, 0);
}

void UninstallerEntry(void)
{
    MSG message;
    ModuleInstance = GetModuleHandleA(NULL);
    InitCommonControls();
    Dialog = CreateDialogParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_UNINSTALL), NULL, UninstallDialogProc, 0);
    if (!Dialog) {
        MessageBoxA(NULL, STARTUP_ERROR_TEXT, STARTUP_ERROR_CAPTION, MB_OK | MB_ICONEXCLAMATION);
    } else {
        SetWindowTextA(Dialog, DIALOG_TITLE);
        ShowWindow(Dialog, SW_SHOWDEFAULT);
        UpdateWindow(Dialog);
        // Only exactly 1 goes on: 0 is WM_QUIT, -1 a failure.
        while (GetMessageA(&message, NULL, 0, 0) == 1) {
            if (!IsDialogMessageA(Dialog, &message))
                DispatchMessageA(&message);
        }
    }
    ExitProcess(0);
}

INT_PTR CALLBACK UninstallDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG: {
        HICON icon = LoadIconA(ModuleInstance, MAKEINTRESOURCEA(IDI_UNINSTALL));
        // The pointer-sized form: a LONG would cut a 64-bit handle.
        if (icon)
            SetClassLongPtrA(window, GCLP_HICON, (LONG_PTR)icon);
        HMENU menu = GetSystemMenu(window, FALSE);
        if (menu) {
            DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
            DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
        }
        SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 2));
        SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETSTEP, 1, 0);
        return TRUE;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == 0) {
            if (LOWORD(wParam) == IDOK) {
                RemoveLibrary();
                DestroyWindow(window);
            } else if (LOWORD(wParam) == IDCANCEL) {
                DestroyWindow(window);
            }
        }
        return FALSE;
    case WM_CLOSE:
        DestroyWindow(Dialog);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}

// Position of the last backslash before `length`, or -1.
static int LastBackslash(const char *path, DWORD length)
{
    for (int i = (int)length - 1; i >= 0; --i)
        if (path[i] == '\\')
            return i;
    return -1;
}

void RemoveLibrary(void)
{
    char path[LIBRARY_PATH_SIZE];
    HKEY key;
    DWORD n = GetModuleFileNameA(NULL, path, MODULE_NAME_SIZE);
    int slash = n ? LastBackslash(path, n) : -1;
    // A name cut short by the buffer, or one with no room left for the library's
    // name, would point at some other file: such a library is not touched.
    BOOL named = n < MODULE_NAME_SIZE &&
                 (DWORD)(slash + 1) + sizeof LIBRARY_FILE_NAME <= sizeof path;
    if (named)
        lstrcpyA(path + slash + 1, LIBRARY_FILE_NAME);

    if (named && RegOpenKeyExA(HKEY_LOCAL_MACHINE, SHARED_DLLS_KEY, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, path); // the value is named by the library's full path
        RegCloseKey(key);
    }
    if (named) {
        DeleteFileWithWarning(path);
    } else {
        MessageBoxA(Dialog, LIBRARY_FILE_NAME, DELETE_WARNING_CAPTION, MB_OK | MB_ICONEXCLAMATION);
        StepProgress();
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY);
    StartSelfDelete(path);
}

void DeleteFileWithWarning(LPCSTR path)
{
    if (!DeleteFileA(path) && GetLastError() != ERROR_FILE_NOT_FOUND)
        MessageBoxA(Dialog, path, DELETE_WARNING_CAPTION, MB_OK | MB_ICONEXCLAMATION);
    StepProgress();
}

static BOOL WriteAll(HANDLE file, const char *bytes, DWORD count)
{
    DWORD written = 0;
    return WriteFile(file, bytes, count, &written, NULL) && written == count;
}

// Writes the batch file: it deletes this program as soon as it can, its folder
// when that is empty, then itself. Returns FALSE when any of it is not written.
static BOOL WriteBatch(HANDLE file, const char *batchPath)
{
    char exe[MODULE_NAME_SIZE];
    DWORD n = GetModuleFileNameA(NULL, exe, sizeof exe);
    // A name cut short would have the batch delete some other file.
    if (n == 0 || n >= sizeof exe)
        return FALSE;
    BOOL ok = WriteAll(file, ":Repeat\r\ndel \"", 14);
    ok = ok && WriteAll(file, exe, n);
    ok = ok && WriteAll(file, "\"\r\nif exist \"", 13);
    ok = ok && WriteAll(file, exe, n);
    ok = ok && WriteAll(file, "\" goto Repeat\r\nrmdir \"", 22);
    int slash = LastBackslash(exe, n);
    DWORD k = slash < 0 ? 0 : (DWORD)slash;
    exe[k] = '\0';
    ok = ok && WriteAll(file, exe, k);
    ok = ok && WriteAll(file, "\"\r\ndel \"", 8);
    ok = ok && WriteAll(file, batchPath, (DWORD)lstrlenA(batchPath));
    ok = ok && WriteAll(file, "\"\r\n", 3);
    return ok;
}

void StartSelfDelete(char *buffer)
{
    DWORD t = GetTempPathA(TEMP_PATH_SIZE, buffer);
    // Too long a temporary folder comes back as the size it would need, with nothing written.
    if (t > 0 && t < TEMP_PATH_SIZE) {
        lstrcpyA(buffer + t, LIBRARY_FILE_NAME);
        lstrcpyA(buffer + t + 9, "bat"); // over "dll": brevanto.bat
        HANDLE file = CreateFileA(buffer, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            BOOL written = WriteBatch(file, buffer);
            CloseHandle(file);
            if (!written) {
                // Half a batch file could delete the wrong thing: none runs.
                DeleteFileA(buffer);
            } else {
                STARTUPINFOA startup;
                PROCESS_INFORMATION process;
                ZeroMemory(&startup, sizeof startup);
                startup.cb = sizeof startup;
                startup.dwFlags = STARTF_USESHOWWINDOW;
                startup.wShowWindow = SW_HIDE;
                // The bare path, unquoted, even with blanks in it.
                if (CreateProcessA(NULL, buffer, NULL, NULL, FALSE, CREATE_SUSPENDED | IDLE_PRIORITY_CLASS, NULL,
                                   "\\", &startup, &process)) {
                    // The batch runs only when this program, at the top priority, is about to end.
                    SetThreadPriority(process.hThread, THREAD_PRIORITY_IDLE);
                    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
                    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
                    CloseHandle(process.hProcess);
                    ResumeThread(process.hThread);
                    CloseHandle(process.hThread);
                }
            }
        }
    }
    StepProgress();
}
