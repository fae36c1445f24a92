// Dialog templates (DLGTEMPLATE and DLGTEMPLATEEX) read into plain records,
// and dialog units turned into pixels as Windows does.
#ifndef USER32_DIALOG_TEMPLATE_H
#define USER32_DIALOG_TEMPLATE_H

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace user32 {

// A name in a template: a number (0xFFFF then the number) or a text.
struct NameOrId {
    bool isId = false;
    WORD id = 0;
    std::string text;  // ANSI (Windows-1252)
};

struct DialogItem {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    NameOrId windowClass;  // predefined classes by atom: 0x80 button, 0x81 edit, 0x82 static, ...
    NameOrId title;
    std::vector<BYTE> creationData;
};

struct DialogTemplate {
    bool extended = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    NameOrId menu;
    NameOrId windowClass;
    std::string title;
    bool hasFont = false;
    WORD pointSize = 0;
    WORD weight = 400;
    bool italic = false;
    std::string typeface;
    std::vector<DialogItem> items;
};

// Reads a template of `size` bytes. ERROR_INVALID_DATA when it is cut short or malformed.
DWORD ParseDialogTemplate(const void* data, size_t size, DialogTemplate& result);

// The class name of a predefined atom ("button", "static", ...), empty when unknown.
std::string PredefinedClassName(WORD atom);

// Dialog base units from a font: the average width of the 52 letters A-Z a-z
// as Windows computes it (width of all 52 / 26, plus 1, halved) and the
// font's full height.
struct BaseUnits {
    int cx = 0;
    int cy = 0;
};
BaseUnits BaseUnitsFromFont(int widthOf52Letters, int height);

// Dialog units to pixels: x * cx / 4 and y * cy / 8, rounded as MulDiv rounds.
int MulDivRound(int number, int numerator, int denominator);
RECT DialogUnitsToPixels(const RECT& units, BaseUnits base);

// A font's pixel height from its point size at 96 dots per inch.
int PointsToPixels(int points);

}  // namespace user32

#endif
