// System menus (GetSystemMenu, DeleteMenu and reading a menu), icons
// (LoadIconA) and class values (SetClassLongA and the like).
#include "window_table.h"

#include <cstring>
#include <new>

namespace user32 {

namespace {

struct MenuItem {
    UINT id;
    UINT flags;
    std::string text;
};

struct Menus {
    std::map<HMENU, std::vector<MenuItem>> menus;
    std::map<HICON, HRSRC> icons;  // the icon group each loaded icon came from
    uintptr_t next = 0x20010;
};

Menus& menus() {
    static Menus* m = new Menus;
    return *m;
}

std::vector<MenuItem>* FindMenu(HMENU menu) {
    auto found = menus().menus.find(menu);
    return found == menus().menus.end() ? nullptr : &found->second;
}

// Index of an item by command or position; -1 when there is none.
int IndexOf(const std::vector<MenuItem>& items, UINT item, UINT flags) {
    if (flags & MF_BYPOSITION) return item < items.size() ? static_cast<int>(item) : -1;
    for (size_t i = 0; i < items.size(); ++i)
        if (!(items[i].flags & MF_SEPARATOR) && items[i].id == item) return static_cast<int>(i);
    return -1;
}

// The standard icons' handles: one for each IDI_ value.
constexpr uintptr_t kStandardIconBase = 0x30000;

}  // namespace

HMENU StandardSystemMenu() {
    HMENU handle = reinterpret_cast<HMENU>(menus().next);
    menus().next += 2;
    menus().menus[handle] = {
        {SC_RESTORE, MF_STRING, "&Restore"},     {SC_MOVE, MF_STRING, "&Move"},
        {SC_SIZE, MF_STRING, "&Size"},           {SC_MINIMIZE, MF_STRING, "Mi&nimize"},
        {SC_MAXIMIZE, MF_STRING, "Ma&ximize"},   {0, MF_SEPARATOR, ""},
        {SC_CLOSE, MF_STRING, "&Close\tAlt+F4"},
    };
    return handle;
}

void DestroyMenuRecord(HMENU menu) { menus().menus.erase(menu); }

bool MenuHas(HMENU menu, UINT id) {
    auto* items = FindMenu(menu);
    return items && IndexOf(*items, id, MF_BYCOMMAND) >= 0;
}

// What the system menu offers now: Restore only when minimized; Size, Minimize
// and Maximize only for windows whose style allows them.
int SystemMenuEntries(HWND window, ui::MenuEntry* entries, int max) {
    Window* w = FindWindowRecord(window);
    if (!w || !(w->style & WS_SYSMENU)) return 0;
    HMENU menu = w->systemMenu;
    HMENU temporary = nullptr;
    if (!menu) menu = temporary = StandardSystemMenu();
    int n = 0;
    for (const MenuItem& item : *FindMenu(menu)) {
        if (n >= max) break;
        ui::MenuEntry& e = entries[n++];
        e.id = item.id;
        e.flags = item.flags;
        bool grey = (item.id == SC_RESTORE && !w->minimized) || (item.id == SC_SIZE && !(w->style & WS_THICKFRAME)) ||
                    (item.id == SC_MINIMIZE && !(w->style & WS_MINIMIZEBOX)) ||
                    (item.id == SC_MAXIMIZE && !(w->style & WS_MAXIMIZEBOX));
        if (grey && !(item.flags & MF_SEPARATOR)) e.flags |= MF_GRAYED;
        size_t len = item.text.size() < sizeof e.text - 1 ? item.text.size() : sizeof e.text - 1;
        memcpy(e.text, item.text.data(), len);
        e.text[len] = 0;
    }
    if (temporary) DestroyMenuRecord(temporary);
    return n;
}

}  // namespace user32

using namespace user32;

HMENU WINAPI GetSystemMenu(HWND window, BOOL revert) {
    try {
        Window* w = FindWindowRecord(window);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if (revert) {
            if (w->systemMenu) DestroyMenuRecord(w->systemMenu);
            w->systemMenu = nullptr;
            return nullptr;
        }
        if (!(w->style & WS_SYSMENU)) return nullptr;
        if (!w->systemMenu) w->systemMenu = StandardSystemMenu();
        return w->systemMenu;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL WINAPI DeleteMenu(HMENU menu, UINT position, UINT flags) {
    auto* items = FindMenu(menu);
    if (!items) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    int at = IndexOf(*items, position, flags);
    if (at < 0) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    items->erase(items->begin() + at);
    return TRUE;
}

int WINAPI GetMenuItemCount(HMENU menu) {
    auto* items = FindMenu(menu);
    if (!items) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return -1;
    }
    return static_cast<int>(items->size());
}

UINT WINAPI GetMenuItemID(HMENU menu, int position) {
    auto* items = FindMenu(menu);
    if (!items || position < 0 || static_cast<size_t>(position) >= items->size()) return static_cast<UINT>(-1);
    return (*items)[static_cast<size_t>(position)].id;
}

int WINAPI GetMenuStringA(HMENU menu, UINT item, LPSTR text, int maxCount, UINT flags) {
    auto* items = FindMenu(menu);
    if (!items) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return 0;
    }
    int at = IndexOf(*items, item, flags);
    if (at < 0) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return 0;
    }
    const std::string& s = (*items)[static_cast<size_t>(at)].text;
    if (!text || maxCount <= 0) return static_cast<int>(s.size());
    size_t n = s.size() < static_cast<size_t>(maxCount - 1) ? s.size() : static_cast<size_t>(maxCount - 1);
    memcpy(text, s.data(), n);
    text[n] = 0;
    return static_cast<int>(n);
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    try {
        if (!instance && IS_INTRESOURCE(name)) {
            WORD id = LOWORD(reinterpret_cast<ULONG_PTR>(name));
            if (id >= 32512 && id <= 32518) return reinterpret_cast<HICON>(kStandardIconBase + id);
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        HRSRC group = FindResourceA(instance, name, RT_GROUP_ICON);
        if (!group) return nullptr;  // FindResourceA's error stands
        HICON icon = reinterpret_cast<HICON>(menus().next);
        menus().next += 2;
        menus().icons[icon] = group;
        return icon;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

ULONG_PTR WINAPI SetClassLongPtrA(HWND window, int index, LONG_PTR value) {
    Window* w = FindWindowRecord(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    WindowClass* c = FindClass(w->className);
    if (!c || (index != GCL_HICON && index != GCL_HICONSM)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    // One icon serves both sizes here; the caption shows the standard icon's picture.
    ULONG_PTR previous = reinterpret_cast<ULONG_PTR>(c->icon);
    c->icon = reinterpret_cast<HICON>(value);
    SetLastError(ERROR_SUCCESS);
    return previous;
}

ULONG_PTR WINAPI GetClassLongPtrA(HWND window, int index) {
    Window* w = FindWindowRecord(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    WindowClass* c = FindClass(w->className);
    if (!c || (index != GCL_HICON && index != GCL_HICONSM)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return reinterpret_cast<ULONG_PTR>(c->icon);
}

// Handles here fit in 32 bits, as Windows keeps them, so the 32-bit forms lose nothing.
DWORD WINAPI SetClassLongA(HWND window, int index, LONG value) {
    return static_cast<DWORD>(SetClassLongPtrA(window, index, static_cast<LONG_PTR>(static_cast<DWORD>(value))));
}

DWORD WINAPI GetClassLongA(HWND window, int index) { return static_cast<DWORD>(GetClassLongPtrA(window, index)); }

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE) {
    try {
        if (!className || IS_INTRESOURCE(className)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (!UnregisterClassRecord(Lower(className))) {
            SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
            return FALSE;
        }
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}
