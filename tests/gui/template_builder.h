// Writes dialog templates in the documented binary layout (DLGTEMPLATE and
// DLGITEMTEMPLATE records, UTF-16 texts, items on DWORD boundaries), as a
// resource compiler would.
#ifndef GUI_TEMPLATE_BUILDER_H
#define GUI_TEMPLATE_BUILDER_H

#include <windows.h>

#include <string>
#include <vector>

class TemplateBuilder {
public:
    TemplateBuilder(DWORD style, short x, short y, short cx, short cy, const std::string& title, WORD points = 0,
                    const std::string& face = "") {
        Dword(style);
        Dword(0);
        countAt_ = bytes_.size();
        Word(0);
        Word(static_cast<WORD>(x));
        Word(static_cast<WORD>(y));
        Word(static_cast<WORD>(cx));
        Word(static_cast<WORD>(cy));
        Word(0);  // no menu
        Word(0);  // the standard dialog class
        Text(title);
        if (style & DS_SETFONT) {
            Word(points);
            Text(face);
        }
    }

    // A control of a predefined class (0x80 button, 0x82 static).
    TemplateBuilder& Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom, const std::string& text) {
        Start(style, x, y, cx, cy, id);
        Word(0xFFFF);
        Word(atom);
        Finish(text);
        return *this;
    }

    // A control of a registered class, by name.
    TemplateBuilder& Item(DWORD style, short x, short y, short cx, short cy, WORD id, const std::string& className,
                          const std::string& text) {
        Start(style, x, y, cx, cy, id);
        Text(className);
        Finish(text);
        return *this;
    }

    const std::vector<BYTE>& Bytes() const { return bytes_; }
    const DLGTEMPLATE* Template() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

private:
    void Start(DWORD style, short x, short y, short cx, short cy, WORD id) {
        while (bytes_.size() % 4) bytes_.push_back(0);
        Dword(style);
        Dword(0);
        Word(static_cast<WORD>(x));
        Word(static_cast<WORD>(y));
        Word(static_cast<WORD>(cx));
        Word(static_cast<WORD>(cy));
        Word(id);
        ++bytes_[countAt_];
    }
    void Finish(const std::string& text) {
        Text(text);
        Word(0);  // no creation data
    }
    void Word(WORD w) {
        bytes_.push_back(static_cast<BYTE>(w));
        bytes_.push_back(static_cast<BYTE>(w >> 8));
    }
    void Dword(DWORD d) {
        Word(static_cast<WORD>(d));
        Word(static_cast<WORD>(d >> 16));
    }
    void Text(const std::string& s) {
        for (unsigned char c : s) Word(c);
        Word(0);
    }

    std::vector<BYTE> bytes_;
    size_t countAt_ = 0;
};

// The uninstaller's dialog: 174 x 78 units in MS Sans Serif 8, two buttons,
// three centred lines and a progress bar.
inline TemplateBuilder UninstallTemplate() {
    TemplateBuilder t(0x12C80B44, 0, 0, 174, 78, "", 8, "MS Sans Serif");
    t.Item(0x50010001, 29, 39, 50, 14, IDOK, 0x80, "OK");
    t.Item(0x50010000, 89, 39, 50, 14, IDCANCEL, 0x80, "Cancel");
    t.Item(0x50020001, 12, 4, 146, 8, 0xFFFF, 0x82, "Click on OK to uninstall the Corvalen (Brevanto)");
    t.Item(0x50020001, 4, 15, 161, 8, 0xFFFF, 0x82, "Add-on Library. This will remove all files from your");
    t.Item(0x50020001, 11, 25, 146, 8, 0xFFFF, 0x82, "computer.");
    t.Item(0x50800000, 6, 59, 159, 11, 1000, "msctls_progress32", "Progress");
    return t;
}

#endif
