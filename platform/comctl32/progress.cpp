// InitCommonControls and the progress bar class "msctls_progress32".
#include <windows.h>
#include <platform/ui.h>

#include <map>
#include <new>

namespace {

struct Bar {
    int low = 0;
    int high = 100;
    int position = 0;
    int step = 10;
};

std::map<HWND, Bar>& bars() {
    static auto* all = new std::map<HWND, Bar>;
    return *all;
}

void Show(HWND window, const Bar& bar) { platform::ui::ShowBar(window, bar.low, bar.high, bar.position); }

int Clamp(const Bar& bar, int position) {
    return position < bar.low ? bar.low : position > bar.high ? bar.high : position;
}

LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        try {
            bars()[window] = Bar{};
        } catch (const std::bad_alloc&) {
            return -1;
        }
        return 0;
    }
    auto found = bars().find(window);
    if (found == bars().end()) return DefWindowProcA(window, message, wParam, lParam);
    Bar& bar = found->second;
    switch (message) {
    case WM_NCDESTROY:
        bars().erase(found);
        return DefWindowProcA(window, message, wParam, lParam);
    case PBM_SETRANGE:
    case PBM_SETRANGE32: {
        LRESULT previous = MAKELONG(bar.low, bar.high);
        int low = message == PBM_SETRANGE ? LOWORD(lParam) : static_cast<int>(wParam);
        int high = message == PBM_SETRANGE ? HIWORD(lParam) : static_cast<int>(lParam);
        bar.low = low;
        bar.high = high;
        bar.position = Clamp(bar, bar.position);
        Show(window, bar);
        return previous;
    }
    case PBM_SETPOS: {
        int previous = bar.position;
        bar.position = Clamp(bar, static_cast<int>(wParam));
        Show(window, bar);
        return previous;
    }
    case PBM_DELTAPOS: {
        int previous = bar.position;
        bar.position = Clamp(bar, bar.position + static_cast<int>(wParam));
        Show(window, bar);
        return previous;
    }
    case PBM_SETSTEP: {
        int previous = bar.step;
        bar.step = static_cast<int>(wParam);
        return previous;
    }
    case PBM_STEPIT: {
        int previous = bar.position;
        long long next = static_cast<long long>(bar.position) + bar.step;
        // Past the end the bar starts over from the beginning.
        if (next > bar.high) next = bar.low + (next - bar.high);
        if (next < bar.low) next = bar.high - (bar.low - next);
        bar.position = Clamp(bar, static_cast<int>(next));
        Show(window, bar);
        return previous;
    }
    case PBM_GETPOS:
        return bar.position;
    case PBM_GETRANGE:
        if (lParam) {
            auto* range = reinterpret_cast<PPBRANGE>(lParam);
            range->iLow = bar.low;
            range->iHigh = bar.high;
        }
        return wParam ? bar.low : bar.high;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

// Registers the class once; later calls find it there.
void WINAPI InitCommonControls(void) {
    WNDCLASSA c{};
    c.lpfnWndProc = ProgressProc;
    c.lpszClassName = PROGRESS_CLASSA;
    RegisterClassA(&c);
}
