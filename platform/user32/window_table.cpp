// The handle table, window classes, the message queue and the display module.
#include "window_table.h"

#include <platform/cp1252.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <deque>
#include <mutex>

namespace user32 {

namespace {

struct State {
    std::map<HWND, std::unique_ptr<Window>> windows;
    std::map<std::string, WindowClass> classes;
    std::deque<MSG> queue;
    bool quit = false;
    int quitCode = 0;
    uintptr_t nextHandle = 0x10010;
    const ui::Backend* display = nullptr;
    bool tried = false;
    DWORD displayError = ERROR_SUCCESS;
    BYTE keys[256] = {};
    HWND focus = nullptr;
};

State& state() {
    static State* s = new State;  // outlives every module's exit handlers
    return *s;
}

DWORD GetTickCountForMessages() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

bool KeyMessage(UINT message) {
    return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN || message == WM_SYSKEYUP;
}

void PostFromDisplay(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Keys go to the control with the focus, as the system sends input to the focus window.
    if (KeyMessage(message)) {
        if (Window* w = FindWindowRecord(window); w && w->focus && FindWindowRecord(w->focus)) window = w->focus;
    }
    Post(window, message, wParam, lParam);
}

const ui::Events kEvents = {PostFromDisplay, SystemMenuEntries};

// The display module sits beside user32.dll.
std::string ModuleFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ModuleFolder), &info) || !info.dli_fname) return ".";
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool Matches(const MSG& m, HWND filter, UINT low, UINT high) {
    if (filter && m.hwnd != filter) {
        // Messages for the filter window's children count too.
        Window* w = FindWindowRecord(m.hwnd);
        while (w && w->handle != filter) w = FindWindowRecord(w->parent);
        if (!w) return false;
    }
    if (low == 0 && high == 0) return true;
    return m.message >= low && m.message <= high;
}

}  // namespace

const ui::Backend* Display(DWORD& error) {
    State& s = state();
    if (!s.tried) {
        s.tried = true;
        const char* display = getenv("DISPLAY");
        if (!display || !*display) {
            s.displayError = ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION;
        } else {
            std::string path = ModuleFolder() + "/user32_fltk.so";
            void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            auto entry = handle ? reinterpret_cast<const ui::Backend* (*)()>(dlsym(handle, "User32DisplayModule")) : nullptr;
            const ui::Backend* backend = entry ? entry() : nullptr;
            if (!backend) {
                s.displayError = ERROR_MOD_NOT_FOUND;
            } else if (DWORD err = backend->open(&kEvents)) {
                s.displayError = err;
            } else {
                s.display = backend;
            }
        }
    }
    error = s.displayError;
    return s.display;
}

const ui::Backend* ConnectedDisplay() { return state().display; }

Window* FindWindowRecord(HWND handle) {
    if (!handle) return nullptr;
    auto& windows = state().windows;
    auto found = windows.find(handle);
    return found == windows.end() ? nullptr : found->second.get();
}

Window* TopOf(Window* window) {
    while (window && window->parent) {
        Window* up = FindWindowRecord(window->parent);
        if (!up) break;
        window = up;
    }
    return window;
}

HWND NewHandle() {
    // Never used twice, so a kept handle of a destroyed window names nothing.
    State& s = state();
    HWND h = reinterpret_cast<HWND>(s.nextHandle);
    s.nextHandle += 2;
    return h;
}

void AddWindow(std::unique_ptr<Window> window) {
    HWND h = window->handle;
    state().windows[h] = std::move(window);
}

void RemoveWindowRecord(HWND handle) { state().windows.erase(handle); }

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowRecord(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return w->proc(window, message, wParam, lParam);
}

DWORD Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window && !FindWindowRecord(window)) return ERROR_INVALID_WINDOW_HANDLE;
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCountForMessages();
    state().queue.push_back(m);
    return ERROR_SUCCESS;
}

WindowClass* FindClass(const std::string& lowerName) {
    auto& classes = state().classes;
    auto found = classes.find(lowerName);
    return found == classes.end() ? nullptr : &found->second;
}

void RegisterClassRecord(const WindowClass& record) { state().classes[record.name] = record; }

bool UnregisterClassRecord(const std::string& lowerName) {
    auto& classes = state().classes;
    auto found = classes.find(lowerName);
    if (found == classes.end()) return false;
    for (auto& [handle, window] : state().windows)
        if (window->className == lowerName) return false;
    classes.erase(found);
    return true;
}

HWND FocusRecord() { return state().focus; }
void SetFocusRecord(HWND window) { state().focus = window; }

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(platform::cp1252::ToLower(static_cast<unsigned char>(c)));
    return text;
}

std::string ToUtf8(const std::string& ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (unsigned char c : ansi) {
        char32_t u = platform::cp1252::ToUnicode(c);
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

void LogUi(const std::string& line) {
    const char* path = getenv("PLATFORM_UI_LOG");
    if (!path || !*path) return;
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    std::string text = line + "\n";
    ssize_t ignored = write(fd, text.data(), text.size());
    (void)ignored;
    close(fd);
}

// The queue's side of GetMessageA and PeekMessageA: the first message that matches, if any.
bool TakeMessage(MSG& out, HWND filter, UINT low, UINT high, bool remove) {
    auto& queue = state().queue;
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (!Matches(*it, filter, low, high)) continue;
        out = *it;
        if (remove) queue.erase(it);
        return true;
    }
    State& s = state();
    if (s.quit && ((low == 0 && high == 0) || (WM_QUIT >= low && WM_QUIT <= high))) {
        out = MSG{};
        out.message = WM_QUIT;
        out.wParam = static_cast<WPARAM>(s.quitCode);
        if (remove) s.quit = false;
        return true;
    }
    return false;
}

void SetQuit(int code) {
    state().quit = true;
    state().quitCode = code;
}

bool AnyWindows() { return !state().windows.empty(); }

void RecordKey(const MSG& m) {
    if (!KeyMessage(m.message)) return;
    bool down = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
    state().keys[m.wParam & 0xFF] = down ? 0x80 : 0;
}

bool KeyDown(int vk) { return (state().keys[vk & 0xFF] & 0x80) != 0; }

}  // namespace user32
