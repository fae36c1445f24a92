// The scripted USER32 and COMCTL32, linked into the test programs in place of the real ones.
#include "scripted_user32.h"

#include <cstdio>
#include <deque>

namespace scripted {
namespace {

struct State {
    Script script;
    std::vector<std::string> calls;
    std::string logPath;
    DLGPROC proc = nullptr;
    std::deque<MSG> queue;
    bool quit = false;
    bool destroyed = false;
};

State& S() {
    static State s;
    return s;
}

std::string Window(HWND w) {
    if (w == kDialog) return "dialog";
    if (!w) return "NULL";
    char b[32];
    snprintf(b, sizeof b, "%p", static_cast<void*>(w));
    return b;
}

std::string Text(LPCSTR s) {
    if (!s) return "NULL";
    if (reinterpret_cast<ULONG_PTR>(s) < 0x10000) return "#" + std::to_string(reinterpret_cast<ULONG_PTR>(s));
    return std::string("\"") + s + "\"";
}

void Record(const std::string& line) {
    S().calls.push_back(line);
    if (!S().logPath.empty())
        if (FILE* f = fopen(S().logPath.c_str(), "a")) {
            fprintf(f, "%s\n", line.c_str());
            fclose(f);
        }
}

std::string N(unsigned long long v) { return std::to_string(v); }

}  // namespace

Script& CurrentScript() { return S().script; }
std::vector<std::string>& Calls() { return S().calls; }
void LogTo(const std::string& path) { S().logPath = path; }
void Attach(DLGPROC proc) {
    S().proc = proc;
    S().quit = S().destroyed = false;
}

MSG Command(WORD id, WORD code) {
    MSG m{};
    m.hwnd = kDialog;
    m.message = WM_COMMAND;
    m.wParam = MAKEWPARAM(id, code);
    return m;
}

}  // namespace scripted

using namespace scripted;

extern "C" {

void WINAPI InitCommonControls(void) { Record("InitCommonControls()"); }

HWND WINAPI CreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) {
    Record("CreateDialogParamA(" + std::string(instance == GetModuleHandleA(nullptr) ? "program" : "other") + ", " +
           Text(name) + ", " + Window(owner) + ", " + N(static_cast<unsigned long long>(param)) + ")");
    if (S().script.dialogFails) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    S().proc = proc;
    S().queue.assign(S().script.messages.begin(), S().script.messages.end());
    S().quit = S().destroyed = false;
    proc(kDialog, WM_INITDIALOG, 0, param);
    return kDialog;
}

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text) {
    Record("SetWindowTextA(" + Window(window) + ", " + Text(text) + ")");
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND window, int command) {
    Record("ShowWindow(" + Window(window) + ", " + N(static_cast<unsigned long long>(command)) + ")");
    return FALSE;
}

BOOL WINAPI UpdateWindow(HWND window) {
    Record("UpdateWindow(" + Window(window) + ")");
    return TRUE;
}

BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT low, UINT high) {
    (void)window, (void)low, (void)high;
    if (S().quit) {
        Record("GetMessageA() = 0");
        *message = MSG{};
        message->message = WM_QUIT;
        return 0;
    }
    if (S().queue.empty()) {
        Record("GetMessageA() = -1");
        return -1;
    }
    *message = S().queue.front();
    S().queue.pop_front();
    return 1;
}

BOOL WINAPI IsDialogMessageA(HWND dialog, LPMSG message) {
    (void)dialog, (void)message;
    return FALSE;  // the scripted messages go through DispatchMessageA
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    Record("DispatchMessageA(" + N(message->message) + ", " + N(message->wParam) + ")");
    if (S().proc && !S().destroyed) return S().proc(message->hwnd, message->message, message->wParam, message->lParam);
    return 0;
}

BOOL WINAPI DestroyWindow(HWND window) {
    Record("DestroyWindow(" + Window(window) + ")");
    if (window != kDialog || S().destroyed) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    S().destroyed = true;
    if (S().proc) S().proc(kDialog, WM_DESTROY, 0, 0);
    return TRUE;
}

void WINAPI PostQuitMessage(int code) {
    Record("PostQuitMessage(" + N(static_cast<unsigned long long>(code)) + ")");
    S().quit = true;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    Record("LoadIconA(" + std::string(instance == GetModuleHandleA(nullptr) ? "program" : "other") + ", " + Text(name) + ")");
    // The program carries no icon, so its own lookup finds none.
    HRSRC found = FindResourceA(instance, name, RT_GROUP_ICON);
    if (!found) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return found ? reinterpret_cast<HICON>(0x5003) : nullptr;
}

ULONG_PTR WINAPI SetClassLongPtrA(HWND window, int index, LONG_PTR value) {
    Record("SetClassLongPtrA(" + Window(window) + ", " + std::to_string(index) + ", " + std::to_string(value) + ")");
    return 0;
}

HMENU WINAPI GetSystemMenu(HWND window, BOOL revert) {
    Record("GetSystemMenu(" + Window(window) + ", " + N(static_cast<unsigned long long>(revert)) + ")");
    return S().script.noSystemMenu ? nullptr : kSystemMenu;
}

BOOL WINAPI DeleteMenu(HMENU menu, UINT position, UINT flags) {
    Record("DeleteMenu(" + std::string(menu == kSystemMenu ? "system" : "other") + ", " + N(position) + ", " + N(flags) + ")");
    return TRUE;
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    Record("SendDlgItemMessageA(" + Window(dialog) + ", " + std::to_string(id) + ", " + N(message) + ", " + N(wParam) +
           ", " + N(static_cast<unsigned long long>(lParam)) + ")");
    return 0;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    Record("MessageBoxA(" + Window(owner) + ", " + Text(text) + ", " + Text(caption) + ", " + N(type) + ")");
    return S().script.messageBoxAnswer;
}

}  // extern "C"
