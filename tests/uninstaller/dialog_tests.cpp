// UninstallDialogProc driven by messages sent to it directly, the dialog
// resource, and the removal steps that start nothing.
#include "uninstaller_fixture.h"

#include <cstring>

namespace {

using Lines = std::vector<std::string>;

TEST_F(UninstallerTest, InitDialogSetsUpMenuAndBar) {
    EXPECT_EQ(UninstallDialogProc(scripted::kDialog, WM_INITDIALOG, 0, 0), TRUE);
    // No icon resource: the lookup finds none and the class icon stays.
    EXPECT_EQ(scripted::Calls(), (Lines{
        "LoadIconA(program, #101)",
        "GetSystemMenu(dialog, 0)",
        "DeleteMenu(system, 61440, 0)",
        "DeleteMenu(system, 61488, 0)",
        "SendDlgItemMessageA(dialog, 1000, 1025, 0, 131072)",
        "SendDlgItemMessageA(dialog, 1000, 1028, 1, 0)",
    }));

    scripted::Calls().clear();
    scripted::CurrentScript().noSystemMenu = true;
    EXPECT_EQ(UninstallDialogProc(scripted::kDialog, WM_INITDIALOG, 0, 0), TRUE);
    EXPECT_EQ(scripted::Calls().size(), 4u);  // no DeleteMenu without a menu
}

TEST_F(UninstallerTest, CommandsCloseAndDestroy) {
    // A notification from the OK button is no click.
    EXPECT_EQ(UninstallDialogProc(scripted::kDialog, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0), FALSE);
    EXPECT_EQ(UninstallDialogProc(scripted::kDialog, WM_COMMAND, MAKEWPARAM(1000, 0), 0), FALSE);
    EXPECT_TRUE(scripted::Calls().empty());

    // The scripted DestroyWindow sends WM_DESTROY, as the real one does.
    EXPECT_EQ(UninstallDialogProc(scripted::kDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0), FALSE);
    EXPECT_EQ(scripted::Calls(), (Lines{"DestroyWindow(dialog)", "PostQuitMessage(0)"}));

    scripted::Calls().clear();
    EXPECT_EQ(UninstallDialogProc(scripted::kDialog, WM_CLOSE, 0, 0), TRUE);
    EXPECT_EQ(scripted::Calls(), (Lines{"DestroyWindow(dialog)"}));  // already destroyed: no second WM_DESTROY

    scripted::Calls().clear();
    EXPECT_EQ(UninstallDialogProc(scripted::kDialog, WM_DESTROY, 0, 0), TRUE);
    EXPECT_EQ(UninstallDialogProc(scripted::kDialog, WM_PAINT, 0, 0), FALSE);
    EXPECT_EQ(scripted::Calls(), (Lines{"PostQuitMessage(0)"}));
}

// The dialog template, laid out from the documented DLGTEMPLATE format.
TEST_F(UninstallerTest, DialogResourceBytes) {
    std::vector<uint8_t> e;
    auto w = [&](uint32_t v) { e.push_back(uint8_t(v)), e.push_back(uint8_t(v >> 8)); };
    auto d = [&](uint32_t v) { w(v & 0xFFFF), w(v >> 16); };
    auto t = [&](const char* s) {
        for (; *s; ++s) w(uint8_t(*s));
        w(0);
    };
    auto pad = [&] {
        while (e.size() % 4) e.push_back(0);
    };
    d(0x12C80B44), d(0), w(6), w(0), w(0), w(174), w(78), w(0), w(0), t(""), w(8), t("MS Sans Serif");
    struct Item {
        uint32_t style;
        int x, y, cx, cy, id;
        const char* cls;
        const char* text;
    } items[] = {
        {0x50010001, 29, 39, 50, 14, 1, nullptr, "OK"},
        {0x50010000, 89, 39, 50, 14, 2, nullptr, "Cancel"},
        {0x50020001, 12, 4, 146, 8, -1, nullptr, "Click on OK to uninstall the Corvalen (Brevanto)"},
        {0x50020001, 4, 15, 161, 8, -1, nullptr, "Add-on Library. This will remove all files from your"},
        {0x50020001, 11, 25, 146, 8, -1, nullptr, "computer."},
        {0x50800000, 6, 59, 159, 11, 1000, "msctls_progress32", "Progress"},
    };
    for (const Item& i : items) {
        pad();
        d(i.style), d(0), w(i.x), w(i.y), w(i.cx), w(i.cy), w(uint16_t(i.id));
        if (i.cls) t(i.cls);
        else w(0xFFFF), w(i.id > 0 ? 0x80 : 0x82);
        t(i.text);
        w(0);
    }
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(102), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
    ASSERT_EQ(SizeofResource(nullptr, found), e.size());
    EXPECT_EQ(std::vector<uint8_t>(data, data + e.size()), e);
    // The program's only other resource is its version block; there is no icon.
    EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(1), RT_VERSION), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(101), RT_GROUP_ICON), nullptr);
}

TEST_F(UninstallerTest, DeleteFileWithWarningBoxesOnlyRealFailures) {
    Write("Lib\\brevanto.dll", "x");
    DeleteFileWithWarning("C:\\Lib\\brevanto.dll");
    EXPECT_FALSE(std::filesystem::exists(Native("Lib\\brevanto.dll")));
    DeleteFileWithWarning("C:\\Lib\\brevanto.dll");  // already gone: no box
    EXPECT_EQ(scripted::Calls(), Steps(2));

    scripted::Calls().clear();
    Write("Lib\\brevanto.dll", "x");
    chmod(Native("Lib\\brevanto.dll").c_str(), 0444);
    DeleteFileWithWarning("C:\\Lib\\brevanto.dll");
    EXPECT_TRUE(std::filesystem::exists(Native("Lib\\brevanto.dll")));
    DeleteFileWithWarning("C:\\Nowhere\\brevanto.dll");  // a missing folder is not "already gone"
    EXPECT_EQ(scripted::Calls(), (Lines{
        "MessageBoxA(dialog, \"C:\\Lib\\brevanto.dll\", \"Can't delete the file named:\", 48)",
        "SendDlgItemMessageA(dialog, 1000, 1029, 0, 0)",
        "MessageBoxA(dialog, \"C:\\Nowhere\\brevanto.dll\", \"Can't delete the file named:\", 48)",
        "SendDlgItemMessageA(dialog, 1000, 1029, 0, 0)",
    }));
}

// Where no batch file can be written nothing is started, and the bar still steps.
// (Cases that could start one run in the program's own process: removal_tests.)
TEST_F(UninstallerTest, SelfDeleteWithoutATemporaryFolder) {
    char buffer[LIBRARY_PATH_SIZE + 16];
    Save("TMP", "C:\\No Such Folder");
    StartSelfDelete(buffer);
    EXPECT_EQ(scripted::Calls(), Steps(1));

}

}  // namespace
