// Dialogs on a real X display (a private Xvfb): the layout checked on a
// screenshot against the template, real clicks and keys with xdotool reaching
// the dialog procedure, the progress bar, the system menu and the modal box.
#include "template_builder.h"
#include "xvfb.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>

namespace {

const Pixel kFace{192, 192, 192};
const Pixel kBlack{0, 0, 0};
const Pixel kNavy{0, 0, 128};
const Pixel kWhite{255, 255, 255};

std::string Folder() {
    static std::string folder = [] {
        char tmpl[] = "/tmp/gui_tests.XXXXXX";
        return std::string(mkdtemp(tmpl));
    }();
    return folder;
}

class XvfbEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(server_.Start()) << "Xvfb did not start"; }
    void TearDown() override {
        server_.Stop();
        Run({"rm", "-rf", Folder()});
    }

private:
    Xvfb server_;
};
const auto* environment = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

struct Record {
    std::vector<std::pair<int, int>> commands;  // control id, notification
    LPARAM initParam = 0;
    int closes = 0;
    bool destroyed = false;
} record;

INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        record.initParam = lParam;
        SendDlgItemMessageA(dialog, 1000, PBM_SETRANGE, 0, MAKELPARAM(0, 2));
        SendDlgItemMessageA(dialog, 1000, PBM_SETSTEP, 1, 0);
        return TRUE;
    case WM_COMMAND:
        record.commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        DestroyWindow(dialog);
        return FALSE;
    case WM_CLOSE:
        ++record.closes;
        return FALSE;  // the system's answer: Cancel
    case WM_DESTROY:
        record.destroyed = true;
        PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}

HWND OpenDialog() {
    record = Record{};
    InitCommonControls();
    static TemplateBuilder b = UninstallTemplate();
    HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), b.Template(), nullptr, RecordingProc, 1234);
    if (!dialog) return nullptr;
    SetWindowTextA(dialog, "Uninstall Corvalen Add-on Library");
    ShowWindow(dialog, SW_SHOWDEFAULT);
    UpdateWindow(dialog);
    return dialog;
}

// The message loop of a modeless dialog, until the quit message.
int RunLoop(HWND dialog) {
    MSG m;
    BOOL r;
    while ((r = GetMessageA(&m, nullptr, 0, 0)) == 1)
        if (!IsDialogMessageA(dialog, &m)) DispatchMessageA(&m);
    return r;
}

void Pump() {
    MSG m;
    for (int i = 0; i < 5; ++i)
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}

// A control's rectangle on the screen, from its template values.
RECT Expected(HWND dialog, RECT units) {
    MapDialogRect(dialog, &units);
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    return RECT{origin.x + units.left, origin.y + units.top, origin.x + units.left + units.right,
                origin.y + units.top + units.bottom};
}

POINT Centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// Starts xdotool with `args`, runs the dialog's loop to its end and waits for xdotool.
void Drive(HWND dialog, std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    pid_t tool = Spawn(args);
    ASSERT_GT(tool, 0);
    EXPECT_EQ(RunLoop(dialog), 0);
    EXPECT_EQ(WaitFor(tool), 0);
}

std::string Number(long v) { return std::to_string(v); }

}  // namespace

TEST(Dialog, LayoutOnScreenFollowsTheTemplate) {
    HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr) << GetLastError();
    EXPECT_EQ(record.initParam, 1234);
    Pump();
    Image screen;
    ASSERT_TRUE(Screenshot(screen, Folder(), Folder() + "/dialog.png"));

    // The client area is 174 x 78 units and the window stands in the middle of the screen.
    RECT client;
    GetClientRect(dialog, &client);
    RECT size{0, 0, 174, 78};
    MapDialogRect(dialog, &size);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    RECT window;
    GetWindowRect(dialog, &window);
    EXPECT_NEAR(window.left, (screen.width - (window.right - window.left)) / 2, 1);
    EXPECT_NEAR(window.top, (screen.height - (window.bottom - window.top)) / 2, 1);
    // Base units of an 8-point MS Sans Serif: 6 x 13 pixels, as on Windows.
    RECT unit{0, 0, 4, 8};
    MapDialogRect(dialog, &unit);
    EXPECT_EQ(unit.right, 6);
    EXPECT_EQ(unit.bottom, 13);

    // Buttons and the bordered bar: what is drawn is exactly their rectangle.
    for (RECT units : {RECT{29, 39, 50, 14}, RECT{89, 39, 50, 14}, RECT{6, 59, 159, 11}}) {
        RECT e = Expected(dialog, units);
        Bounds b = Differing(screen, e.left - 4, e.top - 4, e.right + 4, e.bottom + 4, kFace);
        EXPECT_EQ(b.left, e.left) << units.left << "," << units.top;
        EXPECT_EQ(b.top, e.top) << units.left << "," << units.top;
        EXPECT_EQ(b.right, e.right) << units.left << "," << units.top;
        EXPECT_EQ(b.bottom, e.bottom) << units.left << "," << units.top;
    }
    RECT ok = Expected(dialog, RECT{29, 39, 50, 14});
    EXPECT_EQ(screen.At(ok.left, ok.top + 5), kBlack) << "the default button's frame";
    EXPECT_EQ(screen.At(ok.left + 1, ok.top + 5), kWhite);
    RECT cancel = Expected(dialog, RECT{89, 39, 50, 14});
    EXPECT_EQ(screen.At(cancel.left, cancel.top + 5), kWhite) << "a plain button's raised edge";

    // The three lines: text inside each rectangle, centred in it.
    for (RECT units : {RECT{12, 4, 146, 8}, RECT{4, 15, 161, 8}, RECT{11, 25, 146, 8}}) {
        RECT e = Expected(dialog, units);
        Bounds text = Differing(screen, e.left, e.top, e.right, e.bottom, kFace);
        ASSERT_FALSE(text.Empty()) << units.top;
        int leftGap = text.left - e.left, rightGap = e.right - text.right;
        EXPECT_NEAR(leftGap, rightGap, 2) << units.top;
        // The long lines are shown whole: no word wrapped out of sight.
        if (units.top < 25) {
            EXPECT_GT(text.right - text.left, (e.right - e.left) * 9 / 10) << units.top;
        }
        // Nothing spills into the margin beside the line.
        Bounds beside = Differing(screen, e.right, e.top, e.right + 3, e.bottom, kFace);
        EXPECT_TRUE(beside.Empty() || e.right + 3 > Expected(dialog, RECT{165, 0, 0, 0}).left) << units.top;
    }

    // The caption is the title bar colour.
    EXPECT_EQ(screen.At(window.right - 40, window.top + 4), kNavy);
    // The picture of the dialog alone, kept beside the tests (the README shows it).
    std::string cut = "pnmcut -left " + std::to_string(window.left) + " -top " + std::to_string(window.top) +
                      " -width " + std::to_string(window.right - window.left) + " -height " +
                      std::to_string(window.bottom - window.top) + " '" + Folder() + "/screen.ppm' | pnmtopng > '" +
                      DIALOG_PICTURE + "'";
    EXPECT_EQ(system(cut.c_str()), 0);
    DestroyWindow(dialog);
    EXPECT_EQ(RunLoop(dialog), 0);
}

TEST(Dialog, ClickOnOkReachesTheProcedure) {
    HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    POINT at = Centre(Expected(dialog, RECT{29, 39, 50, 14}));
    Drive(dialog, {"mousemove", Number(at.x), Number(at.y), "click", "1"});
    ASSERT_EQ(record.commands.size(), 1u);
    EXPECT_EQ(record.commands[0], std::make_pair(IDOK, BN_CLICKED));
    EXPECT_FALSE(IsWindow(dialog));
}

TEST(Dialog, ClickOnCancelReachesTheProcedure) {
    HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    POINT at = Centre(Expected(dialog, RECT{89, 39, 50, 14}));
    Drive(dialog, {"mousemove", Number(at.x), Number(at.y), "click", "1"});
    ASSERT_EQ(record.commands.size(), 1u);
    EXPECT_EQ(record.commands[0], std::make_pair(IDCANCEL, BN_CLICKED));
}

TEST(Dialog, PressOffTheButtonAndReleaseElsewhereIsNoClick) {
    HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    POINT ok = Centre(Expected(dialog, RECT{29, 39, 50, 14}));
    POINT line = Centre(Expected(dialog, RECT{12, 4, 146, 8}));
    POINT cancel = Centre(Expected(dialog, RECT{89, 39, 50, 14}));
    // Pressed on OK, let go over the text: nothing; then Cancel ends the loop.
    Drive(dialog, {"mousemove", Number(ok.x), Number(ok.y), "mousedown", "1", "mousemove", Number(line.x),
                   Number(line.y), "mouseup", "1", "mousemove", Number(cancel.x), Number(cancel.y), "click", "1"});
    ASSERT_EQ(record.commands.size(), 1u);
    EXPECT_EQ(record.commands[0].first, IDCANCEL);
}

TEST(Dialog, EnterPressesTheDefaultButtonAndEscapeCancels) {
    for (auto [key, id] : {std::make_pair("Return", IDOK), std::make_pair("Escape", IDCANCEL)}) {
        HWND dialog = OpenDialog();
        ASSERT_NE(dialog, nullptr);
        POINT over = Centre(Expected(dialog, RECT{12, 4, 146, 8}));
        Drive(dialog, {"mousemove", Number(over.x), Number(over.y), "key", key});
        ASSERT_EQ(record.commands.size(), 1u) << key;
        EXPECT_EQ(record.commands[0], std::make_pair(id, BN_CLICKED)) << key;
    }
}

TEST(Dialog, TabMovesTheFocusAndEnterPressesTheFocusedButton) {
    HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDOK));
    POINT over = Centre(Expected(dialog, RECT{12, 4, 146, 8}));
    Drive(dialog, {"mousemove", Number(over.x), Number(over.y), "key", "Tab", "key", "Return"});
    ASSERT_EQ(record.commands.size(), 1u);
    EXPECT_EQ(record.commands[0].first, IDCANCEL);
}

TEST(Dialog, CloseBoxSendsCloseAndThenCancel) {
    HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    RECT window;
    GetWindowRect(dialog, &window);
    int frame = GetSystemMetrics(SM_CXDLGFRAME), caption = GetSystemMetrics(SM_CYCAPTION);
    // The close box: the right end of the title bar.
    int x = window.right - frame - 2 - 8, y = window.top + frame + (caption - 1) / 2;
    Drive(dialog, {"mousemove", Number(x), Number(y), "click", "1"});
    EXPECT_EQ(record.closes, 1);
    ASSERT_EQ(record.commands.size(), 1u);
    EXPECT_EQ(record.commands[0], std::make_pair(IDCANCEL, BN_CLICKED));
}

TEST(Dialog, SystemMenuLosesSizeAndMaximizeAndCloseCanBeTakenAway) {
    HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    HMENU menu = GetSystemMenu(dialog, FALSE);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 7);
    EXPECT_TRUE(DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND));
    EXPECT_TRUE(DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND));
    std::vector<UINT> ids;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) ids.push_back(GetMenuItemID(menu, i));
    EXPECT_EQ(ids, (std::vector<UINT>{SC_RESTORE, SC_MOVE, SC_MINIMIZE, 0, SC_CLOSE}));
    SetLastError(0);
    EXPECT_FALSE(DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MENU_ITEM_NOT_FOUND));
    EXPECT_EQ(GetSystemMenu(dialog, FALSE), menu);

    // Without Close in the menu, the close command does nothing.
    EXPECT_TRUE(DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND));
    SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump();
    EXPECT_EQ(record.closes, 0);
    EXPECT_TRUE(IsWindow(dialog));
    // With it back (the menu reverted), the close command is Cancel.
    EXPECT_EQ(GetSystemMenu(dialog, TRUE), nullptr);
    SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(RunLoop(dialog), 0);
    EXPECT_EQ(record.closes, 1);
    ASSERT_EQ(record.commands.size(), 1u);
    EXPECT_EQ(record.commands[0].first, IDCANCEL);
    SetLastError(0);
    EXPECT_FALSE(DeleteMenu(menu, SC_MOVE, MF_BYCOMMAND));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
}

TEST(Dialog, ProgressBarStepsToFull) {
    HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    RECT bar = Expected(dialog, RECT{6, 59, 159, 11});
    int row = (bar.top + bar.bottom) / 2;
    auto lastNavy = [&](const Image& image) {
        int last = -1;
        for (int x = bar.left; x < bar.right; ++x)
            if (image.At(x, row) == kNavy) last = x;
        return last;
    };
    Image screen;
    EXPECT_EQ(SendDlgItemMessageA(dialog, 1000, PBM_STEPIT, 0, 0), 0);
    ASSERT_TRUE(Screenshot(screen, Folder()));
    int half = lastNavy(screen);
    EXPECT_EQ(screen.At(bar.left + 2, row), kNavy);
    // Half way, give or take a block (two thirds of the bar's height, and the gap).
    EXPECT_NEAR(half, (bar.left + bar.right) / 2, (bar.bottom - bar.top) * 2 / 3 + 2);

    EXPECT_EQ(SendDlgItemMessageA(dialog, 1000, PBM_STEPIT, 0, 0), 1);
    EXPECT_EQ(SendDlgItemMessageA(dialog, 1000, PBM_GETPOS, 0, 0), 2);
    ASSERT_TRUE(Screenshot(screen, Folder(), Folder() + "/full.png"));
    EXPECT_EQ(lastNavy(screen), bar.right - 3) << "full: blocks up to the inner edge";
    EXPECT_EQ(screen.At(bar.right - 1, row), kBlack);

    // Past the end the bar starts over.
    EXPECT_EQ(SendDlgItemMessageA(dialog, 1000, PBM_STEPIT, 0, 0), 2);
    EXPECT_EQ(SendDlgItemMessageA(dialog, 1000, PBM_GETPOS, 0, 0), 1);
    DestroyWindow(dialog);
    EXPECT_EQ(RunLoop(dialog), 0);
}

TEST(Dialog, FromTheResourceCompilersTemplateAsFromTheBuiltOne) {
    record = Record{};
    InitCommonControls();
    HWND compiled = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(102), nullptr, RecordingProc, 7);
    ASSERT_NE(compiled, nullptr) << GetLastError();
    EXPECT_EQ(record.initParam, 7);
    static TemplateBuilder b = UninstallTemplate();
    HWND built = CreateDialogIndirectParamA(nullptr, b.Template(), nullptr, RecordingProc, 0);
    ASSERT_NE(built, nullptr);
    RECT a, c;
    GetWindowRect(compiled, &a);
    GetWindowRect(built, &c);
    EXPECT_EQ(a.left, c.left);
    EXPECT_EQ(a.top, c.top);
    EXPECT_EQ(a.right, c.right);
    EXPECT_EQ(a.bottom, c.bottom);
    for (int id : {IDOK, IDCANCEL, 1000}) {
        GetWindowRect(GetDlgItem(compiled, id), &a);
        GetWindowRect(GetDlgItem(built, id), &c);
        EXPECT_EQ(a.left, c.left) << id;
        EXPECT_EQ(a.top, c.top) << id;
        EXPECT_EQ(a.right, c.right) << id;
        EXPECT_EQ(a.bottom, c.bottom) << id;
    }
    char text[64];
    EXPECT_EQ(GetWindowTextA(GetDlgItem(compiled, IDCANCEL), text, sizeof text), 6);
    EXPECT_STREQ(text, "Cancel");
    EXPECT_EQ(SendDlgItemMessageA(compiled, 1000, PBM_GETPOS, 0, 0), 0);
    DestroyWindow(built);
    DestroyWindow(compiled);
    EXPECT_EQ(RunLoop(compiled), 0);
}

TEST(Dialog, UnknownOrUnbuiltControlClassesFailTheDialog) {
    InitCommonControls();
    TemplateBuilder unknown(WS_CAPTION | DS_SETFONT, 0, 0, 100, 50, "x", 8, "MS Sans Serif");
    unknown.Item(WS_CHILD | WS_VISIBLE, 1, 1, 20, 10, 5, "no_such_class", "");
    SetLastError(0);
    EXPECT_EQ(CreateDialogIndirectParamA(nullptr, unknown.Template(), nullptr, RecordingProc, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));

    TemplateBuilder checkbox(WS_CAPTION | DS_SETFONT, 0, 0, 100, 50, "x", 8, "MS Sans Serif");
    checkbox.Item(WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 1, 1, 20, 10, 5, 0x80, "Check");
    SetLastError(0);
    EXPECT_EQ(CreateDialogIndirectParamA(nullptr, checkbox.Template(), nullptr, RecordingProc, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));

    SetLastError(0);
    EXPECT_EQ(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(999), nullptr, RecordingProc, 0), nullptr);
    EXPECT_NE(GetLastError(), 0u);
}

namespace {

// Waits for the message box's default button (a black frame 75 x 23 with a
// white edge inside) to be on the screen, points at it and does `action`
// ("click 1", "key Escape").
void AtDefaultButtonWhenShown(std::atomic<bool>& done, std::vector<std::string> action) {
    for (int attempt = 0; attempt < 200 && !done; ++attempt) {
        Image screen;
        if (!Screenshot(screen, Folder())) continue;
        for (int y = 0; y + 23 <= screen.height; ++y)
            for (int x = 0; x + 75 <= screen.width; ++x) {
                if (!(screen.At(x, y) == kBlack) || !(screen.At(x + 74, y + 22) == kBlack)) continue;
                if (!(screen.At(x + 1, y + 1) == kWhite) || !(screen.At(x, y + 22) == kBlack)) continue;
                bool frame = true;
                for (int i = 0; i < 75 && frame; ++i) frame = screen.At(x + i, y) == kBlack;
                if (!frame) continue;
                std::vector<std::string> argv = {"xdotool", "mousemove", Number(x + 37), Number(y + 11)};
                argv.insert(argv.end(), action.begin(), action.end());
                Run(argv);
                return;
            }
        usleep(50000);
    }
}

}  // namespace

TEST(MessageBox, ModalBoxClosedWithAClick) {
    std::atomic<bool> done{false};
    std::thread helper(AtDefaultButtonWhenShown, std::ref(done), std::vector<std::string>{"click", "1"});
    int result = MessageBoxA(nullptr, "C:\\Program Files\\Brevanto\\brevanto.dll", "Can't delete the file named:",
                             MB_OKCANCEL | MB_ICONEXCLAMATION);
    done = true;
    helper.join();
    EXPECT_EQ(result, IDOK);
}

TEST(MessageBox, EscapeAnswersCancel) {
    std::atomic<bool> done{false};
    std::thread helper(AtDefaultButtonWhenShown, std::ref(done), std::vector<std::string>{"key", "Escape"});
    int result = MessageBoxA(nullptr, "Go on?", "Question", MB_OKCANCEL | MB_ICONQUESTION);
    done = true;
    helper.join();
    EXPECT_EQ(result, IDCANCEL);
}

TEST(MessageBox, AnOwnerThatIsNoWindowIsRefused) {
    SetLastError(0);
    EXPECT_EQ(MessageBoxA(reinterpret_cast<HWND>(0x7777), "x", "y", MB_OK), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}
