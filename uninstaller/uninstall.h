// unbrevanto: removes brevanto.dll, its registry entries, then itself by way of a batch file.
#ifndef UNBREVANTO_UNINSTALL_H
#define UNBREVANTO_UNINSTALL_H

#include <windows.h>
#include <commctrl.h>

#define LIBRARY_FILE_NAME "brevanto.dll"
#define SHARED_DLLS_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
#define UNINSTALL_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brevanto"
#define DIALOG_TITLE "Uninstall Corvalen Add-on Library"
#define STARTUP_ERROR_CAPTION "Error during uninstall:"
#define STARTUP_ERROR_TEXT "Can't create window!"
#define DELETE_WARNING_CAPTION "Can't delete the file named:"

#define LIBRARY_PATH_SIZE 264 /* also the batch step's scratch buffer */
#define MODULE_NAME_SIZE MAX_PATH
#define TEMP_PATH_SIZE 247 /* with "brevanto.dll" and its zero byte: MAX_PATH */

extern HINSTANCE ModuleInstance;
extern HWND Dialog;

// The process entry: shows the dialog, runs its messages, ends the process with 0.
void UninstallerEntry(void);
INT_PTR CALLBACK UninstallDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void RemoveLibrary(void);
void DeleteFileWithWarning(LPCSTR path);
void StartSelfDelete(char *buffer);

#endif
