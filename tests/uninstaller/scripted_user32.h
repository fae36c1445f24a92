// A scripted USER32 and COMCTL32 for unbrevanto's tests: no display, every
// call recorded as one line, the dialog's outcome played from a script.
#ifndef UNINSTALLER_SCRIPTED_USER32_H
#define UNINSTALLER_SCRIPTED_USER32_H

#include <windows.h>

#include <string>
#include <vector>

namespace scripted {

// The handles the scripted calls give out.
inline HWND const kDialog = reinterpret_cast<HWND>(0x5001);
inline HMENU const kSystemMenu = reinterpret_cast<HMENU>(0x5002);

struct Script {
    bool dialogFails = false;   // CreateDialogParamA gives NULL
    bool noSystemMenu = false;  // GetSystemMenu gives NULL
    int messageBoxAnswer = IDOK;
    // Messages GetMessageA hands out, in order, to the dialog; when they run out
    // GetMessageA fails (-1), so a program that never quits does not hang.
    std::vector<MSG> messages;
};

Script& CurrentScript();
// The calls so far, e.g. "SendDlgItemMessageA(dialog, 1000, 1029, 0, 0)".
std::vector<std::string>& Calls();
// Messages sent by a test go to this dialog procedure (DestroyWindow's WM_DESTROY).
void Attach(DLGPROC proc);
// Also appends each line to this file (for a program run as its own process).
void LogTo(const std::string& path);

MSG Command(WORD id, WORD code = 0);

}  // namespace scripted

#endif
