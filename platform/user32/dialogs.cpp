// Windows and dialogs: CreateDialogParamA and the procedures of the dialog,
// button and static classes, DestroyWindow, focus, text and placement.
#include "window_table.h"

#include <platform/ui.h>

#include <new>

namespace user32 {

namespace {

constexpr const char* kDialogClass = "#32770";

// The exports' one pattern: the internal function's error becomes the last error.
template <class T, class F>
T Guarded(T failure, F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return failure;
    }
}

bool IsPushButton(const Window* w) {
    if (!w || w->className != "button") return false;
    DWORD type = w->style & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

void Notify(Window* button) {
    if (button->style & WS_DISABLED) return;
    HWND self = button->handle;
    Send(button->parent, WM_COMMAND, MAKEWPARAM(button->id, BN_CLICKED), reinterpret_cast<LPARAM>(self));
}

bool Inside(const Window* w, LPARAM point) {
    int x = static_cast<short>(LOWORD(point)), y = static_cast<short>(HIWORD(point));
    return x >= 0 && y >= 0 && x < w->clientWidth && y < w->clientHeight;
}

LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowRecord(window);
    if (!w) return 0;
    switch (message) {
    case WM_LBUTTONDOWN:
        SetFocus(window);
        if ((w = FindWindowRecord(window))) w->pressed = true;
        return 0;
    case WM_LBUTTONUP:
        if (w->pressed) {
            w->pressed = false;
            if (Inside(w, lParam)) Notify(w);
        }
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) w->pressed = true;
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && w->pressed) {
            w->pressed = false;
            Notify(w);
        }
        return 0;
    case BM_CLICK:
        Notify(w);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

int DefaultId(Window* dialog) {
    LRESULT r = Send(dialog->handle, DM_GETDEFID, 0, 0);
    return HIWORD(r) == DC_HASDEFID ? LOWORD(r) : IDOK;
}

// The dialog side of the system's default dialog procedure.
LRESULT DialogDefault(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowRecord(window);
    if (!w) return 0;
    switch (message) {
    case WM_CLOSE: {
        // The close box or Alt+F4 is Cancel, unless Cancel is there and disabled.
        Window* cancel = FindWindowRecord(GetDlgItem(window, IDCANCEL));
        if (!cancel || !(cancel->style & WS_DISABLED))
            Post(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel ? cancel->handle : nullptr));
        return 0;
    }
    case DM_GETDEFID:
        return w->defaultId ? MAKELONG(w->defaultId, DC_HASDEFID) : 0;
    case DM_SETDEFID:
        w->defaultId = static_cast<int>(wParam);
        return TRUE;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowRecord(window);
    if (!w) return 0;
    if (DLGPROC proc = w->dialogProc) {
        INT_PTR handled = proc(window, message, wParam, lParam);
        if (handled) return handled;
        if (!FindWindowRecord(window)) return 0;
    }
    return DialogDefault(window, message, wParam, lParam);
}

void EnsureBuiltinClasses() {
    if (FindClass("button")) return;
    WNDCLASSA c{};
    c.lpfnWndProc = ButtonProc;
    c.lpszClassName = "Button";
    RegisterClassA(&c);
    c.lpfnWndProc = StaticProc;
    c.lpszClassName = "Static";
    RegisterClassA(&c);
    c.lpfnWndProc = DialogProc;
    c.lpszClassName = kDialogClass;
    RegisterClassA(&c);
}

ui::Frame FrameOf(DWORD style) {
    if ((style & WS_CAPTION) == WS_CAPTION) return {3, 19};
    if (style & (WS_DLGFRAME | DS_MODALFRAME)) return {3, 0};
    if (style & WS_BORDER) return {1, 0};
    return {0, 0};
}

// A control from its template entry; the error when its class is unknown or not built here.
DWORD CreateControl(Window* dialog, const DialogItem& item, const ui::Backend* display) {
    std::string name = item.windowClass.isId ? PredefinedClassName(item.windowClass.id) : Lower(item.windowClass.text);
    WindowClass* cls = FindClass(name);
    if (!cls) return item.windowClass.isId && !name.empty() ? ERROR_CALL_NOT_IMPLEMENTED : ERROR_CANNOT_FIND_WND_CLASS;
    int kind = ui::kCustom;
    if (name == "button") {
        DWORD type = item.style & BS_TYPEMASK;
        if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON) return ERROR_CALL_NOT_IMPLEMENTED;
        kind = type == BS_DEFPUSHBUTTON ? ui::kDefaultButton : ui::kPushButton;
    } else if (name == "static") {
        if ((item.style & SS_TYPEMASK) > SS_RIGHT) return ERROR_CALL_NOT_IMPLEMENTED;
        kind = ui::kStatic;
    }
    auto w = std::make_unique<Window>();
    w->handle = NewHandle();
    w->parent = dialog->handle;
    w->className = name;
    w->proc = cls->proc;
    w->style = item.style | WS_CHILD;
    w->exStyle = item.exStyle;
    w->id = static_cast<int>(item.id);
    w->text = item.title.isId ? std::string() : item.title.text;
    // Position and size convert each on its own, as Windows lays out dialogs.
    RECT px = DialogUnitsToPixels(RECT{item.x, item.y, item.cx, item.cy}, dialog->units);
    w->rect = RECT{px.left, px.top, px.left + px.right, px.top + px.bottom};
    w->clientWidth = px.right;
    w->clientHeight = px.bottom;
    ui::Box box{w->rect.left, w->rect.top, w->clientWidth, w->clientHeight};
    w->widget = display->createControl(dialog->widget, w->handle, kind, box, ToUtf8(w->text).c_str(), w->style, w->exStyle);
    if (!(w->style & WS_VISIBLE)) display->show(w->widget, SW_HIDE);
    HWND h = w->handle;
    if (kind == ui::kDefaultButton && !dialog->defaultId) dialog->defaultId = w->id;
    dialog->children.push_back(h);
    AddWindow(std::move(w));
    if (kind == ui::kCustom && Send(h, WM_CREATE, 0, 0) == -1) return ERROR_CANNOT_FIND_WND_CLASS;
    return ERROR_SUCCESS;
}

HWND FirstTabStop(Window* dialog) {
    for (HWND h : dialog->children) {
        Window* c = FindWindowRecord(h);
        if (c && (c->style & WS_TABSTOP) && (c->style & WS_VISIBLE) && !(c->style & WS_DISABLED)) return h;
    }
    return nullptr;
}

DWORD CreateFromTemplate(const void* data, size_t size, HWND owner, DLGPROC proc, LPARAM param, HWND& result) {
    result = nullptr;
    DialogTemplate t;
    if (DWORD err = ParseDialogTemplate(data, size, t)) return err;
    if (t.menu.isId || !t.menu.text.empty()) return ERROR_CALL_NOT_IMPLEMENTED;  // dialog menus
    if (!t.windowClass.isId && !t.windowClass.text.empty()) return ERROR_CALL_NOT_IMPLEMENTED;  // private dialog classes
    DWORD err;
    const ui::Backend* display = Display(err);
    if (!display) return err;
    EnsureBuiltinClasses();
    Window* ownerRecord = owner ? FindWindowRecord(owner) : nullptr;
    if (owner && !ownerRecord) return ERROR_INVALID_WINDOW_HANDLE;

    auto w = std::make_unique<Window>();
    w->handle = NewHandle();
    w->className = kDialogClass;
    w->proc = DialogProc;
    w->dialogProc = proc;
    w->dialog = true;
    w->style = t.style;
    w->exStyle = t.exStyle;
    w->text = t.title;
    ui::Font font{};
    std::string face = t.hasFont ? t.typeface : "System";
    font.face = face.c_str();
    font.pixels = t.hasFont ? PointsToPixels(t.pointSize) : 16;
    font.bold = t.hasFont ? t.weight >= 600 : 1;
    font.italic = t.italic;
    int width52 = 0, height = 0;
    display->measure(&font, &width52, &height);
    w->units = BaseUnitsFromFont(width52, height);
    RECT client = DialogUnitsToPixels(RECT{0, 0, t.cx, t.cy}, w->units);
    w->clientWidth = client.right;
    w->clientHeight = client.bottom;
    w->frame = FrameOf(t.style);
    int outerW = w->clientWidth + 2 * w->frame.border;
    int outerH = w->clientHeight + 2 * w->frame.border + w->frame.caption;
    int x, y;
    if (t.style & (DS_CENTER | DS_CENTERMOUSE)) {
        int sw = 0, sh = 0;
        display->screenSize(&sw, &sh);
        x = (sw - outerW) / 2;
        y = (sh - outerH) / 2;
        if (x < 0) x = 0;
        if (y < 0) y = 0;
    } else {
        RECT at = DialogUnitsToPixels(RECT{t.x, t.y, t.x, t.y}, w->units);
        x = at.left;
        y = at.top;
        if (ownerRecord && !(t.style & DS_ABSALIGN)) {
            POINT origin{0, 0};
            ClientToScreen(owner, &origin);
            x += origin.x;
            y += origin.y;
        }
    }
    w->rect = RECT{x, y, x + outerW, y + outerH};
    w->parent = nullptr;  // the owner is not a parent: the dialog is a top-level window
    w->widget = display->createTop(w->handle, ui::Box{x, y, outerW, outerH}, w->frame, ToUtf8(w->text).c_str(), t.style, &font);
    HWND dialog = w->handle;
    Window* record = w.get();
    AddWindow(std::move(w));
    LogUi("dialog " + std::to_string(reinterpret_cast<uintptr_t>(dialog)) + " created");

    for (const DialogItem& item : t.items) {
        if (DWORD e = CreateControl(record, item, display)) {
            DestroyWindow(dialog);
            return e;
        }
        if (!(record = FindWindowRecord(dialog))) return ERROR_INVALID_WINDOW_HANDLE;
    }
    if (record->defaultId)
        if (Window* def = FindWindowRecord(GetDlgItem(dialog, record->defaultId))) display->setDefault(def->widget, 1);

    HWND first = FirstTabStop(record);
    LRESULT focus = Send(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    if (!(record = FindWindowRecord(dialog))) return ERROR_INVALID_WINDOW_HANDLE;
    if (focus && first) SetFocus(first);
    if (t.style & WS_VISIBLE) {
        record->style &= ~WS_VISIBLE;
        ShowWindow(dialog, SW_SHOWNORMAL);
        UpdateWindow(dialog);
    }
    result = dialog;
    return ERROR_SUCCESS;
}

void DestroyTree(HWND handle, const ui::Backend* display) {
    Window* w = FindWindowRecord(handle);
    if (!w || w->destroying) return;
    w->destroying = true;
    Send(handle, WM_DESTROY, 0, 0);
    if (!(w = FindWindowRecord(handle))) return;
    std::vector<HWND> children = w->children;
    for (HWND c : children) DestroyTree(c, display);
    Send(handle, WM_NCDESTROY, 0, 0);
}

}  // namespace

}  // namespace user32

using namespace user32;

ATOM WINAPI RegisterClassA(const WNDCLASSA* c) {
    return Guarded<ATOM>(0, [&]() -> ATOM {
        if (!c || !c->lpfnWndProc || !c->lpszClassName || IS_INTRESOURCE(c->lpszClassName) || !*c->lpszClassName) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        std::string name = Lower(c->lpszClassName);
        if (FindClass(name)) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
        WindowClass record{name, c->lpfnWndProc, c->hInstance, c->hIcon};
        static ATOM next = 0xC000;
        RegisterClassRecord(record);
        return next++;
    });
}

HWND WINAPI CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
    return Guarded<HWND>(nullptr, [&]() -> HWND {
        HRSRC found = FindResourceA(instance, templateName, RT_DIALOG);
        if (!found) return nullptr;  // FindResourceA's error stands
        HGLOBAL loaded = LoadResource(instance, found);
        const void* data = loaded ? LockResource(loaded) : nullptr;
        if (!data) return nullptr;
        HWND dialog;
        if (DWORD err = CreateFromTemplate(data, SizeofResource(instance, found), owner, proc, param, dialog)) {
            SetLastError(err);
            return nullptr;
        }
        return dialog;
    });
}

HWND WINAPI CreateDialogIndirectParamA(HINSTANCE, LPCDLGTEMPLATEA dialogTemplate, HWND owner, DLGPROC proc, LPARAM param) {
    return Guarded<HWND>(nullptr, [&]() -> HWND {
        HWND dialog;
        // The caller vouches for the template; its end is where its records say.
        if (DWORD err = CreateFromTemplate(dialogTemplate, SIZE_MAX / 2, owner, proc, param, dialog)) {
            SetLastError(err);
            return nullptr;
        }
        return dialog;
    });
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Guarded<LRESULT>(0, [&]() -> LRESULT {
        Window* w = FindWindowRecord(window);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        const ui::Backend* display = ConnectedDisplay();
        switch (message) {
        case WM_SETTEXT: {
            w->text = lParam ? reinterpret_cast<LPCSTR>(lParam) : "";
            if (display && w->widget) display->setText(w->widget, ToUtf8(w->text).c_str());
            LogUi("text " + std::to_string(reinterpret_cast<uintptr_t>(window)) + " " + w->text);
            return TRUE;
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(w->text.size());
        case WM_GETTEXT: {
            auto* out = reinterpret_cast<LPSTR>(lParam);
            if (!out || wParam == 0) return 0;
            size_t n = w->text.size() < wParam - 1 ? w->text.size() : wParam - 1;
            memcpy(out, w->text.data(), n);
            out[n] = 0;
            return static_cast<LRESULT>(n);
        }
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_SYSKEYDOWN:
            if (wParam == VK_F4) Send(TopOf(w)->handle, WM_SYSCOMMAND, SC_CLOSE, 0);
            else if (wParam == VK_SPACE) Send(TopOf(w)->handle, WM_SYSCOMMAND, SC_KEYMENU, VK_SPACE);
            return 0;
        case WM_SYSCOMMAND: {
            Window* top = TopOf(w);
            switch (wParam & 0xFFF0) {
            case SC_CLOSE:
                // A system menu without Close leaves the close box and Alt+F4 without effect.
                if (!top->systemMenu || MenuHas(top->systemMenu, SC_CLOSE)) Send(top->handle, WM_CLOSE, 0, 0);
                return 0;
            case SC_MINIMIZE:
                ShowWindow(top->handle, SW_MINIMIZE);
                return 0;
            case SC_RESTORE:
                ShowWindow(top->handle, SW_RESTORE);
                return 0;
            case SC_KEYMENU:
                if (display && (top->style & WS_SYSMENU)) display->popupSystemMenu(top->widget);
                return 0;
            default:
                return 0;  // moving and sizing from the keyboard are not built
            }
        }
        default:
            return 0;
        }
    });
}

BOOL WINAPI DestroyWindow(HWND window) {
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        Window* w = FindWindowRecord(window);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (w->destroying) return TRUE;
        const ui::Backend* display = ConnectedDisplay();
        bool top = !w->parent;
        if (display && top && w->widget) display->show(w->widget, SW_HIDE);
        // Collect the tree first: the procedures may look at their windows while they go.
        std::vector<HWND> all;
        std::vector<HWND> pending{window};
        while (!pending.empty()) {
            HWND h = pending.back();
            pending.pop_back();
            all.push_back(h);
            if (Window* r = FindWindowRecord(h)) pending.insert(pending.end(), r->children.begin(), r->children.end());
        }
        DestroyTree(window, display);
        LogUi("window " + std::to_string(reinterpret_cast<uintptr_t>(window)) + " destroyed");
        if (Window* parentRecord = FindWindowRecord(w->parent)) {
            auto& list = parentRecord->children;
            for (auto it = list.begin(); it != list.end(); ++it)
                if (*it == window) {
                    list.erase(it);
                    break;
                }
            if (parentRecord->focus == window) parentRecord->focus = nullptr;
        }
        for (HWND h : all) {
            Window* r = FindWindowRecord(h);
            if (!r) continue;
            if (r->systemMenu) DestroyMenuRecord(r->systemMenu);
            if (display && r->widget && !top && h == window) display->show(r->widget, SW_HIDE);
            if (display && r->widget && !r->parent) display->destroyTop(r->widget);
            if (h == GetFocus()) SetFocusRecord(nullptr);
        }
        for (HWND h : all) RemoveWindowRecord(h);
        return TRUE;
    });
}

BOOL WINAPI IsWindow(HWND window) { return FindWindowRecord(window) != nullptr; }

BOOL WINAPI IsWindowVisible(HWND window) {
    Window* w = FindWindowRecord(window);
    while (w) {
        if (!(w->style & WS_VISIBLE)) return FALSE;
        if (!w->parent) return TRUE;
        w = FindWindowRecord(w->parent);
    }
    return FALSE;
}

BOOL WINAPI ShowWindow(HWND window, int command) {
    Window* w = FindWindowRecord(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    BOOL was = (w->style & WS_VISIBLE) ? TRUE : FALSE;
    if (command == SW_HIDE) w->style &= ~WS_VISIBLE;
    else w->style |= WS_VISIBLE;
    w->minimized = command == SW_MINIMIZE || command == SW_SHOWMINIMIZED || command == SW_SHOWMINNOACTIVE;
    if (const ui::Backend* display = ConnectedDisplay(); display && w->widget) display->show(w->widget, command);
    return was;
}

BOOL WINAPI UpdateWindow(HWND window) {
    if (!FindWindowRecord(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (const ui::Backend* display = ConnectedDisplay()) display->flush();
    return TRUE;
}

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text) {
    if (!FindWindowRecord(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND window, LPSTR text, int maxCount) {
    if (!FindWindowRecord(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (!text || maxCount <= 0) return 0;
    return static_cast<int>(Send(window, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(text)));
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    Window* w = FindWindowRecord(dialog);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (HWND h : w->children)
        if (Window* c = FindWindowRecord(h); c && c->id == id) return h;
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND window) {
    Window* w = FindWindowRecord(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return w->parent ? w->id : 0;
}

HWND WINAPI GetParent(HWND window) {
    Window* w = FindWindowRecord(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return w->parent;
}

HWND WINAPI GetFocus(void) { return FocusRecord(); }

HWND WINAPI SetFocus(HWND window) {
    HWND previous = FocusRecord();
    if (!window) {
        SetFocusRecord(nullptr);
        return previous;
    }
    Window* w = FindWindowRecord(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    Window* top = TopOf(w);
    const ui::Backend* display = ConnectedDisplay();
    if (w != top) {
        top->focus = window;
        if (display) {
            display->setFocus(top->widget, w->widget);
            // A push button with the focus is the one Enter presses, and looks it.
            for (HWND h : top->children) {
                Window* c = FindWindowRecord(h);
                if (!IsPushButton(c)) continue;
                bool isDefault = IsPushButton(w) ? c == w : c->id == top->defaultId;
                display->setDefault(c->widget, isDefault);
            }
        }
    }
    SetFocusRecord(window);
    if (previous && previous != window && FindWindowRecord(previous)) Send(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
    if (FindWindowRecord(window)) Send(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    return previous;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Guarded<LRESULT>(0, [&] { return Send(window, message, wParam, lParam); });
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return 0;
    return SendMessageA(control, message, wParam, lParam);
}

BOOL WINAPI IsDialogMessageA(HWND dialog, LPMSG message) {
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        Window* d = FindWindowRecord(dialog);
        if (!d || !message) return FALSE;
        Window* target = FindWindowRecord(message->hwnd);
        if (!target || TopOf(target) != d) return FALSE;
        if (message->message == WM_KEYDOWN) {
            switch (message->wParam) {
            case VK_RETURN: {
                // Enter presses the push button with the focus, else the default one.
                Window* focus = FindWindowRecord(d->focus);
                int id = IsPushButton(focus) ? focus->id : DefaultId(d);
                HWND control = GetDlgItem(dialog, id);
                Window* c = FindWindowRecord(control);
                if (c && (c->style & WS_DISABLED)) return TRUE;
                Send(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
                return TRUE;
            }
            case VK_ESCAPE: {
                HWND control = GetDlgItem(dialog, IDCANCEL);
                Window* c = FindWindowRecord(control);
                if (c && (c->style & WS_DISABLED)) return TRUE;
                Send(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(control));
                return TRUE;
            }
            case VK_TAB: {
                // The next (Shift: previous) visible, enabled control with WS_TABSTOP.
                std::vector<HWND> stops;
                for (HWND h : d->children)
                    if (Window* c = FindWindowRecord(h); c && (c->style & WS_TABSTOP) && (c->style & WS_VISIBLE) && !(c->style & WS_DISABLED))
                        stops.push_back(h);
                if (stops.empty()) return TRUE;
                size_t at = stops.size();
                for (size_t i = 0; i < stops.size(); ++i)
                    if (stops[i] == d->focus) at = i;
                size_t next = KeyDown(VK_SHIFT) ? (at == stops.size() || at == 0 ? stops.size() - 1 : at - 1)
                                                : (at == stops.size() ? 0 : (at + 1) % stops.size());
                SetFocus(stops[next]);
                return TRUE;
            }
            default:
                break;
            }
        }
        DispatchMessageA(message);
        return TRUE;
    });
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
    Window* w = FindWindowRecord(window);
    if (!w || !rect) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = RECT{0, 0, w->clientWidth, w->clientHeight};
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND window, LPPOINT point) {
    Window* w = FindWindowRecord(window);
    if (!w || !point) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    for (Window* at = w; at; at = FindWindowRecord(at->parent)) {
        if (!at->parent) {
            int x = at->rect.left, y = at->rect.top;
            if (const ui::Backend* display = ConnectedDisplay(); display && at->widget) display->position(at->widget, &x, &y);
            point->x += x + at->frame.border;
            point->y += y + at->frame.border + at->frame.caption;
        } else {
            point->x += at->rect.left;
            point->y += at->rect.top;
        }
    }
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
    Window* w = FindWindowRecord(window);
    if (!w || !rect) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!w->parent) {
        int x = w->rect.left, y = w->rect.top;
        if (const ui::Backend* display = ConnectedDisplay(); display && w->widget) display->position(w->widget, &x, &y);
        *rect = RECT{x, y, x + (w->rect.right - w->rect.left), y + (w->rect.bottom - w->rect.top)};
        return TRUE;
    }
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    *rect = RECT{origin.x, origin.y, origin.x + w->clientWidth, origin.y + w->clientHeight};
    return TRUE;
}

BOOL WINAPI MapDialogRect(HWND dialog, LPRECT rect) {
    Window* w = FindWindowRecord(dialog);
    if (!w || !w->dialog || !rect) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = DialogUnitsToPixels(*rect, w->units);
    return TRUE;
}

int WINAPI GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
        DWORD err;
        int w = 0, h = 0;
        if (const ui::Backend* display = Display(err)) display->screenSize(&w, &h);
        return index == SM_CXSCREEN ? w : h;
    }
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXSIZE:
    case SM_CYSIZE: return 18;
    default: return 0;
    }
}

PLATFORM_API DWORD platform::ui::ShowBar(HWND window, int low, int high, int position) {
    Window* w = FindWindowRecord(window);
    if (!w) return ERROR_INVALID_WINDOW_HANDLE;
    if (const user32::ui::Backend* display = ConnectedDisplay(); display && w->widget) {
        display->setBar(w->widget, low, high, position);
        display->flush();
    }
    LogUi("bar " + std::to_string(w->id) + " " + std::to_string(position) + " of " + std::to_string(low) + ".." +
          std::to_string(high));
    return ERROR_SUCCESS;
}
