// The interface between user32.dll and its display module, user32_fltk.so,
// which draws windows on the X display with FLTK. user32 keeps the Windows
// side (handles, classes, messages, dialogs, menus); the display module only
// draws what it is told and posts what the user does as window messages.
// It is loaded on first need, so a program that never opens a window needs
// neither X nor FLTK.
#ifndef USER32_UI_BACKEND_H
#define USER32_UI_BACKEND_H

#include <windows.h>

namespace user32::ui {

struct Box {
    int x, y, w, h;
};

enum Kind : int { kPushButton, kDefaultButton, kStatic, kCustom };

struct Font {
    const char* face;  // Windows face name ("MS Sans Serif"); the module picks a like one
    int pixels;        // character height
    int bold;
    int italic;
};

struct MenuEntry {
    UINT id;
    UINT flags;  // MF_GRAYED, MF_SEPARATOR
    char text[64];
};

// What the display module calls back into user32 with.
struct Events {
    // Queues a message, as input arrives on a real system.
    void (*post)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The entries of a window's system menu, greyed as its state asks; the count.
    int (*systemMenu)(HWND window, MenuEntry* entries, int max);
};

// Sizes of the frame a dialog gets around its client area.
struct Frame {
    int border;   // each side
    int caption;  // height of the title bar, its line below included
};

struct Backend {
    // Connects to the display; ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION when there is none.
    DWORD (*open)(const Events* events);
    // Width of the letters A-Z a-z together and the height of a font.
    void (*measure)(const Font* font, int* widthOf52Letters, int* height);
    void (*screenSize)(int* width, int* height);
    // A top-level window: `outer` on the screen, its frame drawn by the module.
    void* (*createTop)(HWND window, Box outer, Frame frame, const char* title, DWORD style, const Font* font);
    // A control inside a top-level window, `box` in the window's client area.
    void* (*createControl)(void* top, HWND window, int kind, Box box, const char* text, DWORD style, DWORD exStyle);
    void (*setText)(void* widget, const char* text);  // a top-level window's title or a control's text
    void (*setBar)(void* control, int low, int high, int position);
    void (*setFocus)(void* top, void* control);  // control NULL: none
    void (*setDefault)(void* control, int isDefault);
    void (*show)(void* top, int command);  // SW_HIDE, SW_SHOW..., SW_MINIMIZE
    void (*popupSystemMenu)(void* top);
    void (*destroyTop)(void* top);
    void (*position)(void* top, int* x, int* y);
    // Handles what the display sends; waits for it when `block`.
    void (*wait)(int block);
    // Draws what is pending now and waits until the display has it.
    void (*flush)(void);
    // A modal message box; the button pressed (IDOK...).
    int (*messageBox)(const char* text, const char* caption, UINT type, void* ownerTop);
};

}  // namespace user32::ui

extern "C" const user32::ui::Backend* User32DisplayModule(void);

#endif
