// Windows' binary resource formats: string bundles, message tables, version blocks.
#ifndef WIN32_RC_FORMATS_H
#define WIN32_RC_FORMATS_H

#include "compiler.h"

#include <map>
#include <string>
#include <vector>

namespace rc {

class Bytes {
  public:
    void Word(uint16_t v) { data_.push_back(static_cast<uint8_t>(v)), data_.push_back(static_cast<uint8_t>(v >> 8)); }
    void Dword(uint32_t v) { Word(static_cast<uint16_t>(v)), Word(static_cast<uint16_t>(v >> 16)); }
    void Text(const std::u16string& s) {
        for (char16_t c : s) Word(c);
    }
    void Raw(const std::vector<uint8_t>& b) { data_.insert(data_.end(), b.begin(), b.end()); }
    void Align4() {
        while (data_.size() % 4) data_.push_back(0);
    }
    void PatchWord(size_t at, uint16_t v) { data_[at] = static_cast<uint8_t>(v), data_[at + 1] = static_cast<uint8_t>(v >> 8); }
    void PatchDword(size_t at, uint32_t v) { PatchWord(at, static_cast<uint16_t>(v)), PatchWord(at + 2, static_cast<uint16_t>(v >> 16)); }
    size_t Size() const { return data_.size(); }
    std::vector<uint8_t> Take() { return std::move(data_); }

  private:
    std::vector<uint8_t> data_;
};

// RT_STRING: one resource per 16 ids (block id/16 + 1), each slot a counted UTF-16 string.
// Strings are keyed by (language, id).
std::vector<Resource> StringBundles(const std::map<std::pair<uint16_t, uint16_t>, std::u16string>& strings);

// RT_MESSAGETABLE data (MESSAGE_RESOURCE_DATA) from id -> text; entries are UTF-16.
// Returns an empty text on success, or what is wrong.
std::string MessageTable(const std::map<uint32_t, std::u16string>& messages, std::vector<uint8_t>& out);

// One node of a VS_VERSIONINFO tree.
struct VersionNode {
    std::u16string key;
    bool block = false;           // BLOCK: children only, no value
    bool text = true;             // wType 1: value is a zero-terminated UTF-16 string
    std::u16string textValue;
    std::vector<uint8_t> binary;  // wType 0 value
    std::vector<VersionNode> children;
};

struct FixedFileInfo {
    uint32_t fileVersionMS = 0, fileVersionLS = 0, productVersionMS = 0, productVersionLS = 0;
    uint32_t fileFlagsMask = 0, fileFlags = 0, fileOS = 0, fileType = 0, fileSubtype = 0;
};

// Fails (returns non-empty) when a node grows past the 64 KiB a WORD length can say.
std::string VersionInfo(const FixedFileInfo& fixed, const std::vector<VersionNode>& blocks, std::vector<uint8_t>& out);

// A name or an ordinal in a dialog template: 0xFFFF and the number, or a
// zero-terminated UTF-16 name (empty: no menu, the standard class, no text).
struct NameOrOrdinal {
    bool isOrdinal = false;
    uint16_t ordinal = 0;
    std::u16string name;
};

struct DialogControl {
    uint32_t style = 0, exStyle = 0, helpId = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t id = 0;             // a WORD in DLGTEMPLATE, a DWORD in DLGTEMPLATEEX
    NameOrOrdinal className;     // predefined classes as ordinals 0x80..0x85
    NameOrOrdinal text;
};

struct DialogFont {
    uint16_t pointSize = 0, weight = 0;
    uint8_t italic = 0, charset = 1;  // DEFAULT_CHARSET
    std::u16string typeface;
};

struct Dialog {
    bool extended = false;       // DIALOGEX: DLGTEMPLATEEX
    uint32_t style = 0, exStyle = 0, helpId = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    NameOrOrdinal menu, className;
    std::u16string caption;
    bool hasFont = false;        // written when the style holds DS_SETFONT
    DialogFont font;
    std::vector<DialogControl> controls;
};

// RT_DIALOG data: DLGTEMPLATE or DLGTEMPLATEEX with its items, each item on a DWORD boundary.
std::string DialogTemplate(const Dialog& dialog, std::vector<uint8_t>& out);

}  // namespace rc

#endif
