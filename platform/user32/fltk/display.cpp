// user32's display module: dialogs drawn on the X display with FLTK in the
// classic Windows look. The module draws what user32 tells it and posts what
// the user does (clicks, keys, the close box, the system menu) back to user32
// as window messages; it keeps no Windows state of its own.
#include "../ui_backend.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Widget.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <X11/Xlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace user32::ui;

const Events* events = nullptr;

// The classic system colours.
const Fl_Color kFace = fl_rgb_color(192, 192, 192);
const Fl_Color kShadow = fl_rgb_color(128, 128, 128);
const Fl_Color kHighlight = fl_rgb_color(255, 255, 255);
const Fl_Color kDark = fl_rgb_color(0, 0, 0);
const Fl_Color kCaption = fl_rgb_color(0, 0, 128);
const Fl_Color kBar = fl_rgb_color(0, 0, 128);

// Windows' dialog faces and the font drawn for each, as Windows keeps font
// substitutes: the "MS Sans Serif" family becomes Liberation Sans one pixel
// smaller than its height, whose letters then average what MS Sans Serif's do
// (dialog base units of 6 x 13 at 8 points, Windows' own).
struct Substitute {
    const char* face;
    const char* family;
    int adjust;
};
const Substitute kSubstitutes[] = {
    {"ms sans serif", "Liberation Sans", -1}, {"ms shell dlg", "Liberation Sans", -1},
    {"microsoft sans serif", "Liberation Sans", -1}, {"tahoma", "Liberation Sans", -1},
    {"arial", "Liberation Sans", 0}, {"segoe ui", "Liberation Sans", 0},
    {"courier", "Liberation Mono", 0}, {"courier new", "Liberation Mono", 0},
    {"times new roman", "Liberation Serif", 0}, {"system", "Liberation Sans", -3},
};

// The FLTK font (regular, bold, italic or both, in slots of their own) and pixel size for a Windows font.
struct Chosen {
    Fl_Font font;
    int size;
};

Chosen FontFor(const user32::ui::Font& f) {
    std::string face = f.face ? f.face : "";
    for (char& c : face) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    const Substitute* chosen = &kSubstitutes[0];
    for (const Substitute& s : kSubstitutes)
        if (face == s.face) chosen = &s;
    int index = static_cast<int>(chosen - kSubstitutes);
    int style = (f.bold ? 1 : 0) + (f.italic ? 2 : 0);
    // FLTK's Xft names start with the style: ' ' regular, 'B' bold, 'I' italic, 'P' both.
    static std::string names[sizeof kSubstitutes / sizeof kSubstitutes[0]][4];
    std::string& name = names[index][style];
    Fl_Font font = FL_FREE_FONT + index * 4 + style;
    if (name.empty()) {
        name = std::string(1, " BIP"[style]) + chosen->family;
        Fl::set_font(font, name.c_str());
    }
    int size = f.pixels + chosen->adjust;
    return Chosen{font, size > 4 ? size : 4};
}

void Edge(int x, int y, int w, int h, Fl_Color topLeft, Fl_Color bottomRight) {
    fl_color(topLeft);
    fl_xyline(x, y, x + w - 2);
    fl_yxline(x, y, y + h - 2);
    fl_color(bottomRight);
    fl_xyline(x, y + h - 1, x + w - 1);
    fl_yxline(x + w - 1, y, y + h - 1);
}

void RaisedBox(int x, int y, int w, int h) {
    Edge(x, y, w, h, kHighlight, kDark);
    Edge(x + 1, y + 1, w - 2, h - 2, kFace, kShadow);
}

int VirtualKey(int key) {
    if (key == FL_Enter || key == FL_KP_Enter) return VK_RETURN;
    if (key == FL_Escape) return VK_ESCAPE;
    if (key == FL_Tab) return VK_TAB;
    if (key == ' ') return VK_SPACE;
    if (key == FL_Shift_L || key == FL_Shift_R) return VK_SHIFT;
    if (key == FL_Alt_L || key == FL_Alt_R) return VK_MENU;
    if (key == FL_Left) return VK_LEFT;
    if (key == FL_Right) return VK_RIGHT;
    if (key == FL_Up) return VK_UP;
    if (key == FL_Down) return VK_DOWN;
    if (key >= FL_F + 1 && key <= FL_F + 12) return 0x70 + (key - FL_F - 1);
    if (key >= 'a' && key <= 'z') return key - 'a' + 'A';
    if (key >= '0' && key <= '9') return key;
    return 0;
}

class Control : public Fl_Widget {
public:
    Control(int x, int y, int w, int h, HWND window, int kind, DWORD style, DWORD exStyle, Fl_Font font, int size)
        : Fl_Widget(x, y, w, h), window_(window), kind_(kind), style_(style), exStyle_(exStyle), font_(font), size_(size) {
        isDefault_ = kind == kDefaultButton;
    }

    void SetText(const char* text) {
        text_ = text ? text : "";
        redraw();
    }
    void SetBar(int low, int high, int position) {
        low_ = low;
        high_ = high;
        position_ = position;
        hasBar_ = true;
        redraw();
    }
    void SetFocused(bool on) {
        if (focused_ != on) redraw();
        focused_ = on;
    }
    void SetDefault(bool on) {
        if (isDefault_ != on) redraw();
        isDefault_ = on;
    }
    // A button of a message box: the box takes the click itself.
    std::function<void()> onClick;
    // '&' marks the next letter (underlined) and "&&" is '&', as in Windows' control texts; a message box's text has no marks.
    bool prefix = true;

    void draw() override {
        fl_push_clip(x(), y(), w(), h());
        fl_color(kFace);
        fl_rectf(x(), y(), w(), h());
        fl_draw_shortcut = prefix ? 1 : 0;
        if (kind_ == kPushButton || kind_ == kDefaultButton) DrawButton();
        else if (kind_ == kStatic) DrawStatic();
        else DrawCustom();
        fl_draw_shortcut = 0;
        fl_pop_clip();
    }

    int handle(int event) override {
        bool button = kind_ == kPushButton || kind_ == kDefaultButton;
        if (!button) return 0;
        switch (event) {
        case FL_PUSH:
            if (Fl::event_button() != FL_LEFT_MOUSE) return 0;
            pressed_ = true;
            redraw();
            Report(WM_LBUTTONDOWN);
            return 1;
        case FL_DRAG: {
            bool inside = Fl::event_inside(this);
            if (inside != pressed_) {
                pressed_ = inside;
                redraw();
            }
            return 1;
        }
        case FL_RELEASE:
            pressed_ = false;
            redraw();
            Report(WM_LBUTTONUP);
            return 1;
        default:
            return 0;
        }
    }

private:
    void Report(UINT message) {
        if (onClick) {
            if (message == WM_LBUTTONUP && Fl::event_inside(this)) onClick();
            return;
        }
        int px = Fl::event_x() - x(), py = Fl::event_y() - y();
        events->post(window_, message, message == WM_LBUTTONDOWN ? 1 : 0,
                     MAKELPARAM(static_cast<WORD>(static_cast<short>(px)), static_cast<WORD>(static_cast<short>(py))));
    }

    void DrawButton() {
        int bx = x(), by = y(), bw = w(), bh = h();
        if (isDefault_ || pressed_) {
            fl_color(kDark);
            fl_rect(bx, by, bw, bh);
            ++bx, ++by, bw -= 2, bh -= 2;
        }
        if (pressed_) {
            fl_color(kShadow);
            fl_rect(bx, by, bw, bh);
        } else {
            RaisedBox(bx, by, bw, bh);
        }
        int shift = pressed_ ? 1 : 0;
        fl_font(font_, size_);
        bool disabled = (style_ & WS_DISABLED) != 0;
        if (disabled) {
            fl_color(kHighlight);
            fl_draw(text_.c_str(), bx + 1, by + 1, bw, bh, FL_ALIGN_CENTER);
        }
        fl_color(disabled ? kShadow : kDark);
        fl_draw(text_.c_str(), bx + shift, by + shift, bw, bh, FL_ALIGN_CENTER);
        if (focused_) {
            fl_color(kDark);
            fl_line_style(FL_DOT);
            fl_rect(bx + 3, by + 3, bw - 6, bh - 6);
            fl_line_style(0);
        }
    }

    void DrawStatic() {
        fl_font(font_, size_);
        fl_color((style_ & WS_DISABLED) ? kShadow : kDark);
        DWORD type = style_ & SS_TYPEMASK;
        // Words wrap where the control has room for more lines; a control one
        // line high keeps its line whole and clipped, since a wrapped word
        // would fall out of sight.
        Fl_Align align = FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_CLIP;
        if (h() >= 2 * fl_height()) align |= FL_ALIGN_WRAP;
        if (type == SS_LEFT) align |= FL_ALIGN_LEFT;
        if (type == SS_RIGHT) align |= FL_ALIGN_RIGHT;
        fl_draw(text_.c_str(), x(), y(), w(), h(), align);
    }

    void DrawCustom() {
        int ix = x(), iy = y(), iw = w(), ih = h();
        if (style_ & WS_BORDER) {
            fl_color(kDark);
            fl_rect(ix, iy, iw, ih);
            ++ix, ++iy, iw -= 2, ih -= 2;
        }
        if (exStyle_ & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) {
            Edge(ix, iy, iw, ih, kShadow, kHighlight);
            ++ix, ++iy, iw -= 2, ih -= 2;
        }
        if (!hasBar_ || high_ <= low_) return;
        // Blocks two thirds of the height wide with two pixels between, up to the position.
        int inner = iw - 2, top = iy + 1, height = ih - 2;
        int position = position_ < low_ ? low_ : position_ > high_ ? high_ : position_;
        long long filled = static_cast<long long>(inner) * (position - low_) / (high_ - low_);
        int block = height * 2 / 3 > 1 ? height * 2 / 3 : 2;
        fl_color(kBar);
        for (int at = 0; at < filled; at += block + 2) {
            int width = at + block > inner ? inner - at : block;
            fl_rectf(ix + 1 + at, top, width, height);
        }
    }

    HWND window_;
    int kind_;
    DWORD style_, exStyle_;
    Fl_Font font_;
    int size_;
    std::string text_;
    bool isDefault_ = false, focused_ = false, pressed_ = false, hasBar_ = false;
    int low_ = 0, high_ = 100, position_ = 0;
};

class TopWindow : public Fl_Double_Window {
public:
    TopWindow(Box outer, Frame frame, HWND window, DWORD style, Fl_Font font, int size)
        : Fl_Double_Window(outer.x, outer.y, outer.w, outer.h), window_(window), frame_(frame), style_(style),
          font_(font), size_(size) {
        clear_border();
        box(FL_NO_BOX);
        end();
        callback([](Fl_Widget*, void* self) { static_cast<TopWindow*>(self)->Close(); }, this);
    }

    void SetTitle(const char* text) {
        title_ = text ? text : "";
        copy_label(title_.c_str());
        redraw();
    }

    int ClientX() const { return frame_.border; }
    int ClientY() const { return frame_.border + frame_.caption; }
    Fl_Font font() const { return font_; }
    int size() const { return size_; }

    std::function<void(int vk)> onKey;  // a message box's own keys
    std::function<void()> onClose;

    void PopupSystemMenu() {
        if (!events || !window_) return;
        MenuEntry entries[16];
        int n = events->systemMenu(window_, entries, 16);
        if (n <= 0) return;
        std::vector<std::string> labels(static_cast<size_t>(n));
        std::vector<Fl_Menu_Item> items;
        for (int i = 0; i < n; ++i) {
            if (entries[i].flags & MF_SEPARATOR) {
                if (!items.empty()) items.back().flags |= FL_MENU_DIVIDER;
                continue;
            }
            std::string label = entries[i].text;
            int shortcut = 0;
            if (size_t tab = label.find('\t'); tab != std::string::npos) {
                if (label.substr(tab + 1) == "Alt+F4") shortcut = FL_ALT + FL_F + 4;
                label.erase(tab);
            }
            labels[static_cast<size_t>(i)] = label;
            Fl_Menu_Item item{};
            item.text = labels[static_cast<size_t>(i)].c_str();
            item.shortcut_ = shortcut;
            item.user_data_ = reinterpret_cast<void*>(static_cast<uintptr_t>(entries[i].id));
            item.flags = (entries[i].flags & (MF_GRAYED | MF_DISABLED)) ? FL_MENU_INACTIVE : 0;
            item.labelsize_ = static_cast<Fl_Fontsize>(size_);
            items.push_back(item);
        }
        items.push_back(Fl_Menu_Item{});
        make_current();
        const Fl_Menu_Item* chosen = items.front().popup(frame_.border, frame_.border + frame_.caption);
        if (chosen) events->post(window_, WM_SYSCOMMAND, reinterpret_cast<uintptr_t>(chosen->user_data_), 0);
    }

    void draw() override {
        fl_color(kFace);
        fl_rectf(0, 0, w(), h());
        if (frame_.border >= 3) {
            Edge(0, 0, w(), h(), kFace, kDark);
            Edge(1, 1, w() - 2, h() - 2, kHighlight, kShadow);
        } else if (frame_.border > 0) {
            fl_color(kDark);
            fl_rect(0, 0, w(), h());
        }
        if (frame_.caption > 0) DrawCaption();
        draw_children();
    }

    int handle(int event) override {
        switch (event) {
        case FL_FOCUS:
        case FL_UNFOCUS:
            return 1;
        case FL_KEYBOARD:
        case FL_SHORTCUT:
        case FL_KEYUP: {
            int vk = VirtualKey(Fl::event_key());
            if (!vk) return 0;
            if (onKey) {
                if (event != FL_KEYUP) onKey(vk);
                return 1;
            }
            bool alt = (Fl::event_state() & FL_ALT) && vk != VK_MENU;
            UINT message = event == FL_KEYUP ? (alt ? WM_SYSKEYUP : WM_KEYUP) : (alt ? WM_SYSKEYDOWN : WM_KEYDOWN);
            if (events && window_) events->post(window_, message, static_cast<WPARAM>(vk), alt ? (1 << 29) : 0);
            return 1;
        }
        case FL_PUSH: {
            int ex = Fl::event_x(), ey = Fl::event_y();
            if (frame_.caption > 0 && ey >= frame_.border && ey < frame_.border + frame_.caption) {
                if (InCloseBox(ex, ey)) {
                    closePressed_ = true;
                    return 1;
                }
                if (ex < frame_.border + 20 && (style_ & WS_SYSMENU)) {
                    PopupSystemMenu();
                    return 1;
                }
                dragging_ = true;
                dragX_ = Fl::event_x_root() - x();
                dragY_ = Fl::event_y_root() - y();
                return 1;
            }
            break;
        }
        case FL_DRAG:
            if (dragging_) {
                position(Fl::event_x_root() - dragX_, Fl::event_y_root() - dragY_);
                return 1;
            }
            break;
        case FL_RELEASE:
            if (closePressed_) {
                closePressed_ = false;
                if (InCloseBox(Fl::event_x(), Fl::event_y())) Close();
                return 1;
            }
            if (dragging_) {
                dragging_ = false;
                return 1;
            }
            break;
        default:
            break;
        }
        return Fl_Double_Window::handle(event);
    }

private:
    void Close() {
        if (onClose) onClose();
        else if (events && window_) events->post(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
    }

    void CloseBox(int& bx, int& by, int& bw, int& bh) const {
        bw = 16;
        bh = 14;
        bx = w() - frame_.border - 2 - bw;
        by = frame_.border + (frame_.caption - 1 - bh) / 2;
    }

    bool InCloseBox(int ex, int ey) const {
        if (!(style_ & WS_SYSMENU)) return false;
        int bx, by, bw, bh;
        CloseBox(bx, by, bw, bh);
        return ex >= bx && ex < bx + bw && ey >= by && ey < by + bh;
    }

    bool CloseEnabled() const {
        if (!events || !window_) return true;
        MenuEntry entries[16];
        int n = events->systemMenu(window_, entries, 16);
        for (int i = 0; i < n; ++i)
            if (entries[i].id == SC_CLOSE) return true;
        return false;
    }

    void DrawCaption() {
        int cx = frame_.border, cy = frame_.border, cw = w() - 2 * frame_.border, ch = frame_.caption - 1;
        fl_color(kCaption);
        fl_rectf(cx, cy, cw, ch);
        int textX = cx + 3;
        if (style_ & WS_SYSMENU) {
            // The standard icon: a small window with a blue title.
            int ix = cx + 2, iy = cy + (ch - 14) / 2;
            fl_color(kHighlight);
            fl_rectf(ix, iy, 15, 14);
            fl_color(kDark);
            fl_rect(ix, iy, 15, 14);
            fl_color(kCaption);
            fl_rectf(ix + 1, iy + 1, 13, 3);
            textX = ix + 18;
        }
        fl_color(kHighlight);
        const user32::ui::Font captionFont{"MS Sans Serif", 11, 1, 0};
        Chosen bold = FontFor(captionFont);
        fl_font(bold.font, bold.size);
        fl_draw(title_.c_str(), textX, cy, cw - (textX - cx) - 22, ch, FL_ALIGN_LEFT | FL_ALIGN_CLIP);
        if (style_ & WS_SYSMENU) {
            int bx, by, bw, bh;
            CloseBox(bx, by, bw, bh);
            fl_color(kFace);
            fl_rectf(bx, by, bw, bh);
            RaisedBox(bx, by, bw, bh);
            fl_color(CloseEnabled() ? kDark : kShadow);
            int gx = bx + 4, gy = by + 3;
            for (int i = 0; i < 7; ++i) {
                fl_rectf(gx + i, gy + i, 2, 1);
                fl_rectf(gx + 6 - i, gy + i, 2, 1);
            }
        }
    }

    HWND window_;
    Frame frame_;
    DWORD style_;
    Fl_Font font_;
    int size_;
    std::string title_;
    bool dragging_ = false, closePressed_ = false;
    int dragX_ = 0, dragY_ = 0;
};

DWORD Open(const Events* e) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION;
    fl_open_display(display);
    events = e;
    return ERROR_SUCCESS;
}

void Measure(const user32::ui::Font* font, int* width52, int* height) {
    Chosen chosen = FontFor(*font);
    fl_font(chosen.font, chosen.size);
    *width52 = static_cast<int>(fl_width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") + 0.5);
    *height = fl_height();
}

void ScreenSize(int* width, int* height) {
    *width = Fl::w();
    *height = Fl::h();
}

void* CreateTop(HWND window, Box outer, Frame frame, const char* title, DWORD style, const user32::ui::Font* font) {
    Fl_Group::current(nullptr);
    Chosen chosen = FontFor(*font);
    auto* top = new TopWindow(outer, frame, window, style, chosen.font, chosen.size);
    top->SetTitle(title);
    return static_cast<Fl_Widget*>(top);
}

void* CreateControl(void* topWidget, HWND window, int kind, Box box, const char* text, DWORD style, DWORD exStyle) {
    auto* top = static_cast<TopWindow*>(static_cast<Fl_Widget*>(topWidget));
    auto* control = new Control(top->ClientX() + box.x, top->ClientY() + box.y, box.w, box.h, window, kind, style, exStyle,
                                top->font(), top->size());
    control->SetText(text);
    top->add(control);
    return static_cast<Fl_Widget*>(control);
}

void SetText(void* widget, const char* text) {
    auto* w = static_cast<Fl_Widget*>(widget);
    if (auto* top = dynamic_cast<TopWindow*>(w)) top->SetTitle(text);
    else if (auto* control = dynamic_cast<Control*>(w)) control->SetText(text);
}

void SetBar(void* widget, int low, int high, int position) {
    if (auto* control = dynamic_cast<Control*>(static_cast<Fl_Widget*>(widget))) control->SetBar(low, high, position);
}

void SetFocus(void* topWidget, void* controlWidget) {
    auto* top = dynamic_cast<TopWindow*>(static_cast<Fl_Widget*>(topWidget));
    if (!top) return;
    for (int i = 0; i < top->children(); ++i)
        if (auto* control = dynamic_cast<Control*>(top->child(i)))
            control->SetFocused(static_cast<Fl_Widget*>(control) == static_cast<Fl_Widget*>(controlWidget));
}

void SetDefault(void* widget, int isDefault) {
    if (auto* control = dynamic_cast<Control*>(static_cast<Fl_Widget*>(widget))) control->SetDefault(isDefault != 0);
}

void Show(void* widget, int command) {
    auto* w = static_cast<Fl_Widget*>(widget);
    auto* top = dynamic_cast<TopWindow*>(w);
    if (!top) {
        if (command == SW_HIDE) w->hide();
        else w->show();
        if (w->window()) w->window()->redraw();
        return;
    }
    if (command == SW_HIDE) {
        top->hide();
    } else if (command == SW_MINIMIZE || command == SW_SHOWMINIMIZED || command == SW_SHOWMINNOACTIVE) {
        top->iconize();
    } else {
        top->show();
        top->wait_for_expose();
        Fl::focus(top);
    }
}

void PopupSystemMenu(void* widget) {
    if (auto* top = dynamic_cast<TopWindow*>(static_cast<Fl_Widget*>(widget)); top && top->shown()) top->PopupSystemMenu();
}

void DestroyTop(void* widget) {
    auto* top = static_cast<Fl_Widget*>(widget);
    top->hide();
    Fl::delete_widget(top);
}

void Position(void* widget, int* x, int* y) {
    auto* w = static_cast<Fl_Widget*>(widget);
    *x = w->x();
    *y = w->y();
}

void Wait(int block) {
    if (block) Fl::wait();
    else Fl::check();
}

void Flush() {
    for (int i = 0; i < 2; ++i) {
        Fl::flush();
        XSync(fl_display, False);
        Fl::check();
    }
}

// A message box in the system's layout: icon, text, a row of buttons.
int MessageBox(const char* text, const char* caption, UINT type, void*) {
    struct Choice {
        const char* label;
        int id;
    };
    std::vector<Choice> choices;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: choices = {{"OK", IDOK}, {"Cancel", IDCANCEL}}; break;
    case MB_ABORTRETRYIGNORE: choices = {{"&Abort", IDABORT}, {"&Retry", IDRETRY}, {"&Ignore", IDIGNORE}}; break;
    case MB_YESNOCANCEL: choices = {{"&Yes", IDYES}, {"&No", IDNO}, {"Cancel", IDCANCEL}}; break;
    case MB_YESNO: choices = {{"&Yes", IDYES}, {"&No", IDNO}}; break;
    case MB_RETRYCANCEL: choices = {{"&Retry", IDRETRY}, {"Cancel", IDCANCEL}}; break;
    default: choices = {{"OK", IDOK}}; break;
    }
    size_t defaultIndex = ((type & MB_DEFMASK) >> 8) < choices.size() ? (type & MB_DEFMASK) >> 8 : 0;
    // Escape and the close box answer Cancel, or OK when that is the only button.
    int escape = 0;
    for (const Choice& c : choices)
        if (c.id == IDCANCEL) escape = IDCANCEL;
    if (choices.size() == 1) escape = IDOK;

    const int margin = 11, buttonW = 75, buttonH = 23, gap = 6;
    const user32::ui::Font boxFont{"MS Sans Serif", 11, 0, 0};
    Chosen chosen = FontFor(boxFont);
    Fl_Font font = chosen.font;
    const int pixels = chosen.size;
    fl_font(font, pixels);
    int icon = (type & MB_ICONMASK) ? 32 : 0;
    int textW = 0, textH = 0;
    fl_measure(text ? text : "", textW, textH, 0);
    int maxText = Fl::w() * 2 / 3;
    if (textW > maxText) {
        textW = maxText;
        fl_measure(text ? text : "", textW, textH, 0);
    }
    int contentW = (icon ? icon + margin : 0) + textW;
    int buttonsW = static_cast<int>(choices.size()) * buttonW + (static_cast<int>(choices.size()) - 1) * gap;
    const user32::ui::Font captionFont{"MS Sans Serif", 11, 1, 0};
    Chosen bold = FontFor(captionFont);
    fl_font(bold.font, bold.size);
    int titleW = static_cast<int>(fl_width(caption ? caption : "")) + 60;
    int clientW = std::max({contentW + 2 * margin, buttonsW + 2 * margin, titleW});
    int bodyH = std::max(icon, textH);
    int clientH = margin + bodyH + margin + buttonH + margin;
    Frame frame{3, 19};
    Box outer{0, 0, clientW + 6, clientH + 6 + 19};
    outer.x = (Fl::w() - outer.w) / 2;
    outer.y = (Fl::h() - outer.h) / 2;

    int result = 0;
    Fl_Group::current(nullptr);
    auto* box = new TopWindow(outer, frame, nullptr, WS_CAPTION | WS_SYSMENU, font, pixels);
    box->SetTitle(caption ? caption : "Error");
    struct Picture : Fl_Widget {
        UINT kind;
        Picture(int x, int y, UINT k) : Fl_Widget(x, y, 32, 32), kind(k) {}
        void draw() override {
            int cx = x() + 16, cy = y() + 16;
            if (kind == MB_ICONEXCLAMATION) {
                fl_color(fl_rgb_color(255, 255, 0));
                fl_polygon(cx, y() + 1, x() + 30, y() + 29, x() + 1, y() + 29);
                fl_color(kDark);
                fl_loop(cx, y() + 1, x() + 30, y() + 29, x() + 1, y() + 29);
                fl_rectf(cx - 1, y() + 9, 3, 12);
                fl_rectf(cx - 1, y() + 23, 3, 3);
            } else if (kind == MB_ICONHAND) {
                fl_color(fl_rgb_color(255, 0, 0));
                fl_pie(x() + 1, y() + 1, 30, 30, 0, 360);
                fl_color(kHighlight);
                fl_line_style(FL_SOLID, 3);
                fl_line(cx - 7, cy - 7, cx + 7, cy + 7);
                fl_line(cx + 7, cy - 7, cx - 7, cy + 7);
                fl_line_style(0);
            } else {
                fl_color(kHighlight);
                fl_pie(x() + 1, y() + 1, 30, 30, 0, 360);
                fl_color(fl_rgb_color(0, 0, 255));
                fl_font(FL_TIMES_BOLD, 22);
                fl_draw(kind == MB_ICONQUESTION ? "?" : "i", x(), y(), 32, 32, FL_ALIGN_CENTER);
            }
        }
    };
    int cx = box->ClientX(), cy = box->ClientY();
    if (icon) box->add(new Picture(cx + margin, cy + margin, type & MB_ICONMASK));
    auto* label = new Control(cx + margin + (icon ? icon + margin : 0), cy + margin + (bodyH - textH) / 2, textW, textH,
                              nullptr, kStatic, SS_LEFT, 0, font, pixels);
    label->prefix = false;
    label->SetText(text);
    box->add(label);
    std::vector<Control*> buttons;
    int bx = cx + (clientW - buttonsW) / 2, by = cy + margin + bodyH + margin;
    for (size_t i = 0; i < choices.size(); ++i) {
        auto* b = new Control(bx, by, buttonW, buttonH, nullptr, i == defaultIndex ? kDefaultButton : kPushButton,
                              BS_PUSHBUTTON, 0, font, pixels);
        b->SetText(choices[i].label);
        int id = choices[i].id;
        b->onClick = [&result, id] { result = id; };
        box->add(b);
        buttons.push_back(b);
        bx += buttonW + gap;
    }
    size_t focus = defaultIndex;
    buttons[focus]->SetFocused(true);
    box->onKey = [&](int vk) {
        if (vk == VK_RETURN || vk == VK_SPACE) result = choices[focus].id;
        else if (vk == VK_ESCAPE && escape) result = escape;
        else if (vk == VK_TAB || vk == VK_RIGHT || vk == VK_LEFT) {
            buttons[focus]->SetFocused(false);
            buttons[focus]->SetDefault(false);
            focus = (vk == VK_LEFT ? focus + choices.size() - 1 : focus + 1) % choices.size();
            buttons[focus]->SetFocused(true);
            buttons[focus]->SetDefault(true);
        }
    };
    box->onClose = [&] {
        if (escape) result = escape;
    };
    box->set_modal();
    box->show();
    box->wait_for_expose();
    Fl::focus(box);
    while (!result && box->shown()) Fl::wait();
    box->hide();
    Fl::delete_widget(box);
    Fl::check();
    return result ? result : escape ? escape : choices[defaultIndex].id;
}

const Backend kBackend = {Open,        Measure,         ScreenSize, CreateTop, CreateControl, SetText, SetBar, SetFocus,
                          SetDefault,  Show,            PopupSystemMenu, DestroyTop, Position, Wait, Flush, MessageBox};

}  // namespace

extern "C" __attribute__((visibility("default"))) const user32::ui::Backend* User32DisplayModule(void) { return &kBackend; }
