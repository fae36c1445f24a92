// Without a display (none named, or one that cannot be opened) no dialog is
// made, with Windows' error, and MessageBoxA keeps its standard-error form.
#include "template_builder.h"

#include <gtest/gtest.h>

namespace {
INT_PTR CALLBACK Proc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
}  // namespace

TEST(NoDisplay, DialogsFailWithAWindowsError) {
    InitCommonControls();
    TemplateBuilder b = UninstallTemplate();
    SetLastError(0);
    EXPECT_EQ(CreateDialogIndirectParamA(nullptr, b.Template(), nullptr, Proc, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION));
    MSG m;
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), -1) << "nothing could ever arrive";
}

TEST(NoDisplay, MessageBoxWritesToStandardError) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "Can't create window!", "Error during uninstall:", MB_OK | MB_ICONEXCLAMATION), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "MessageBox: Error during uninstall:: Can't create window!\n");
}
