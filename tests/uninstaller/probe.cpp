// unbrevanto with the scripted USER32: the whole program, run as its own
// process from wherever a test copies it. UNBREVANTO_SCRIPT names the outcome
// (ok, cancel, close, ok-notify, nodialog), UNBREVANTO_LOG the call log.
#include "scripted_user32.h"
#include "uninstall.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// At the program's end (ExitProcess runs exit), its batch file is already
// running but still waits for the program: a copy shows what it was given.
static void CopyBatch() {
    const char* copy = getenv("UNBREVANTO_BATCH_COPY");
    char path[MAX_PATH + 16];
    DWORD n = GetTempPathA(MAX_PATH, path);
    if (!copy || n == 0 || n >= MAX_PATH) return;
    lstrcpyA(path + n, "brevanto.bat");
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char bytes[4096];
    DWORD got = 0;
    if (ReadFile(file, bytes, sizeof bytes, &got, nullptr))
        if (FILE* out = fopen(copy, "wb")) {
            fwrite(bytes, 1, got, out);
            fclose(out);
        }
    CloseHandle(file);
}

int main() {
    const char* script = getenv("UNBREVANTO_SCRIPT");
    const char* log = getenv("UNBREVANTO_LOG");
    if (log) scripted::LogTo(log);
    scripted::Script& s = scripted::CurrentScript();
    std::string what = script ? script : "ok";
    if (what == "nodialog") s.dialogFails = true;
    else if (what == "ok") s.messages = {scripted::Command(IDOK)};
    else if (what == "cancel") s.messages = {scripted::Command(IDCANCEL)};
    else if (what == "ok-notify") s.messages = {scripted::Command(IDOK, 1), scripted::Command(IDCANCEL)};
    else if (what == "close") {
        MSG m{};
        m.hwnd = scripted::kDialog;
        m.message = WM_CLOSE;
        s.messages = {m};
    }
    atexit(CopyBatch);
    UninstallerEntry();
    return 99;  // never reached: the entry routine ends the process
}
