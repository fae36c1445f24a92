// user32's window side: the handle table, classes, the message queue and the
// display module, shared by the files that build dialogs, menus and boxes.
#ifndef USER32_WINDOW_TABLE_H
#define USER32_WINDOW_TABLE_H

#include <windows.h>

#include "dialog_template.h"
#include "ui_backend.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace user32 {

struct Window {
    HWND handle = nullptr;
    HWND parent = nullptr;
    std::string className;  // lower case
    WNDPROC proc = nullptr;
    DLGPROC dialogProc = nullptr;
    bool dialog = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    int id = 0;
    std::string text;
    RECT rect{};  // in the parent's client area; for a top-level window, the whole window on the screen
    int clientWidth = 0, clientHeight = 0;
    ui::Frame frame{};
    BaseUnits units{};
    void* widget = nullptr;  // the display module's
    std::vector<HWND> children;
    HWND focus = nullptr;  // a dialog's control with the focus
    int defaultId = 0;
    HMENU systemMenu = nullptr;
    bool pressed = false;
    bool destroying = false;
    bool minimized = false;
};

// The display module, loaded and connected on first call; null with `error` set when there is no display.
const ui::Backend* Display(DWORD& error);
// The module when it is already connected, else null.
const ui::Backend* ConnectedDisplay();

Window* FindWindowRecord(HWND handle);
Window* TopOf(Window* window);
HWND NewHandle();
void AddWindow(std::unique_ptr<Window> window);

void RemoveWindowRecord(HWND handle);
bool AnyWindows();

// The queue.
bool TakeMessage(MSG& out, HWND filter, UINT low, UINT high, bool remove);
void SetQuit(int code);
void RecordKey(const MSG& message);
bool KeyDown(int virtualKey);

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
DWORD Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The class record of a name; null when not registered.
struct WindowClass {
    std::string name;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
};
WindowClass* FindClass(const std::string& lowerName);
void RegisterClassRecord(const WindowClass& record);
bool UnregisterClassRecord(const std::string& lowerName);

// The window with the keyboard focus.
HWND FocusRecord();
void SetFocusRecord(HWND window);
std::string Lower(std::string text);

// Windows-1252 to UTF-8 for the display module.
std::string ToUtf8(const std::string& ansi);

// A line to $PLATFORM_UI_LOG when set: what the windows showed, for tests of whole programs.
void LogUi(const std::string& line);

// System menus (menus.cpp).
HMENU StandardSystemMenu();
void DestroyMenuRecord(HMENU menu);
bool MenuHas(HMENU menu, UINT id);
int SystemMenuEntries(HWND window, ui::MenuEntry* entries, int max);

}  // namespace user32

#endif
