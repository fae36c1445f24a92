// Dialog templates read back field by field, dialog units in pixels, and
// COMCTL32's export by ordinal.
#include "dialog_template.h"
#include "template_builder.h"

#include <gtest/gtest.h>

using namespace user32;

TEST(DialogTemplate, ReadsTheUninstallDialog) {
    TemplateBuilder b = UninstallTemplate();
    DialogTemplate t;
    ASSERT_EQ(ParseDialogTemplate(b.Bytes().data(), b.Bytes().size(), t), ERROR_SUCCESS);
    EXPECT_FALSE(t.extended);
    EXPECT_EQ(t.style, 0x12C80B44u);
    EXPECT_EQ(t.cx, 174);
    EXPECT_EQ(t.cy, 78);
    EXPECT_TRUE(t.hasFont);
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.typeface, "MS Sans Serif");
    EXPECT_EQ(t.title, "");
    ASSERT_EQ(t.items.size(), 6u);
    EXPECT_EQ(t.items[0].id, 1u);
    EXPECT_TRUE(t.items[0].windowClass.isId);
    EXPECT_EQ(PredefinedClassName(t.items[0].windowClass.id), "button");
    EXPECT_EQ(t.items[0].title.text, "OK");
    EXPECT_EQ(t.items[1].x, 89);
    EXPECT_EQ(t.items[1].style, 0x50010000u);
    EXPECT_EQ(t.items[3].id, 0xFFFFu);
    EXPECT_EQ(t.items[3].title.text, "Add-on Library. This will remove all files from your");
    EXPECT_EQ(PredefinedClassName(t.items[4].windowClass.id), "static");
    EXPECT_FALSE(t.items[5].windowClass.isId);
    EXPECT_EQ(t.items[5].windowClass.text, "msctls_progress32");
    EXPECT_EQ(t.items[5].id, 1000u);
    EXPECT_EQ(t.items[5].cx, 159);
    EXPECT_EQ(t.items[5].cy, 11);
}

TEST(DialogTemplate, TruncatedOrCutAnywhereIsInvalidData) {
    TemplateBuilder b = UninstallTemplate();
    const auto& bytes = b.Bytes();
    DialogTemplate t;
    // Every proper prefix is refused, never read past.
    for (size_t n = 0; n < bytes.size() - 1; ++n) {
        std::vector<BYTE> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
        const BYTE* start = n ? cut.data() : bytes.data();
        EXPECT_EQ(ParseDialogTemplate(start, n, t), static_cast<DWORD>(ERROR_INVALID_DATA)) << n;
    }
    EXPECT_EQ(ParseDialogTemplate(nullptr, 10, t), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(DialogTemplate, ReadsTheExtendedForm) {
    // DLGTEMPLATEEX: version 1, signature 0xFFFF, a weight and italic byte in the font.
    std::vector<BYTE> b;
    auto word = [&](WORD w) { b.push_back(static_cast<BYTE>(w)); b.push_back(static_cast<BYTE>(w >> 8)); };
    auto dword = [&](DWORD d) { word(static_cast<WORD>(d)); word(static_cast<WORD>(d >> 16)); };
    auto text = [&](const char* s) { while (*s) word(static_cast<unsigned char>(*s++)); word(0); };
    word(1); word(0xFFFF); dword(0); dword(0); dword(DS_SETFONT | WS_CAPTION);
    word(1); word(5); word(6); word(100); word(50);
    word(0); word(0); text("Ex");
    word(9); word(700); b.push_back(1); b.push_back(0); text("Tahoma");
    while (b.size() % 4) b.push_back(0);
    dword(0); dword(0); dword(WS_CHILD | BS_DEFPUSHBUTTON); word(10); word(20); word(30); word(14); dword(70000);
    word(0xFFFF); word(0x80); text("Go"); word(0);
    DialogTemplate t;
    ASSERT_EQ(ParseDialogTemplate(b.data(), b.size(), t), ERROR_SUCCESS);
    EXPECT_TRUE(t.extended);
    EXPECT_EQ(t.title, "Ex");
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(t.weight, 700);
    EXPECT_TRUE(t.italic);
    EXPECT_EQ(t.typeface, "Tahoma");
    ASSERT_EQ(t.items.size(), 1u);
    EXPECT_EQ(t.items[0].id, 70000u);
    EXPECT_EQ(t.items[0].title.text, "Go");
}

TEST(DialogUnits, BaseUnitsAndRoundingFollowWindows) {
    // MS Sans Serif 8 on Windows: the 52 letters are 300 pixels wide, 13 high: 6 x 13.
    BaseUnits units = BaseUnitsFromFont(300, 13);
    EXPECT_EQ(units.cx, 6);
    EXPECT_EQ(units.cy, 13);
    EXPECT_EQ(BaseUnitsFromFont(311, 13).cx, 6);  // 311 / 26 = 11, (11 + 1) / 2 = 6
    EXPECT_EQ(BaseUnitsFromFont(286, 13).cx, 6);  // 11
    EXPECT_EQ(BaseUnitsFromFont(260, 13).cx, 5);  // 10 -> 5
    // Each value converts on its own: a 50 x 14 button is 75 x 23 pixels (22.75 rounds up).
    RECT px = DialogUnitsToPixels(RECT{29, 39, 50, 14}, units);
    EXPECT_EQ(px.left, 44);  // 43.5 rounds away from zero
    EXPECT_EQ(px.top, 63);   // 63.375
    EXPECT_EQ(px.right, 75);
    EXPECT_EQ(px.bottom, 23);
    EXPECT_EQ(MulDivRound(-3, 6, 4), -5);  // -4.5 rounds away from zero
    EXPECT_EQ(MulDivRound(5, 1, 0), -1);
    EXPECT_EQ(PointsToPixels(8), 11);
}

TEST(Comctl32, InitCommonControlsIsOrdinal17) {
    HMODULE comctl = LoadLibraryA("comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    FARPROC byName = GetProcAddress(comctl, "InitCommonControls");
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(GetProcAddress(comctl, MAKEINTRESOURCEA(17)), byName);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(comctl, MAKEINTRESOURCEA(18)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    FreeLibrary(comctl);
}
