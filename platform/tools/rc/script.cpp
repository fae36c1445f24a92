// Resource scripts: STRINGTABLE, VERSIONINFO, DIALOG, DIALOGEX, RCDATA and
// user-defined raw data, LANGUAGE. Each resource type has its own statement parser, so the
// dialog and menu statements slot in beside them.
#include "formats.h"
#include "preprocessor.h"

#include <platform/cp1252.h>

#include <filesystem>
#include <functional>

namespace rc {
namespace {

constexpr uint32_t kRtDialog = 5, kRtRcData = 10, kRtVersion = 16;
constexpr uint32_t kWsChild = 0x40000000, kWsVisible = 0x10000000, kWsTabStop = 0x00010000, kWsGroup = 0x00020000,
                   kWsBorder = 0x00800000, kWsCaption = 0x00C00000, kDsSetFont = 0x40;

// The predefined window classes, by the atoms a dialog template gives them.
constexpr std::pair<const char*, uint16_t> kClassAtoms[] = {
    {"BUTTON", 0x80}, {"EDIT", 0x81}, {"STATIC", 0x82}, {"LISTBOX", 0x83}, {"SCROLLBAR", 0x84}, {"COMBOBOX", 0x85},
};

// The control statements other than CONTROL: class, default style, whether a text comes first.
struct ControlKind {
    const char* keyword;
    uint16_t atom;
    uint32_t style;
    bool hasText;
};
constexpr ControlKind kControlKinds[] = {
    {"LTEXT", 0x82, 0x0 | kWsGroup, true},
    {"CTEXT", 0x82, 0x1 | kWsGroup, true},
    {"RTEXT", 0x82, 0x2 | kWsGroup, true},
    {"PUSHBUTTON", 0x80, 0x0 | kWsTabStop, true},
    {"DEFPUSHBUTTON", 0x80, 0x1 | kWsTabStop, true},
    {"CHECKBOX", 0x80, 0x2 | kWsTabStop, true},
    {"AUTOCHECKBOX", 0x80, 0x3 | kWsTabStop, true},
    {"RADIOBUTTON", 0x80, 0x4 | kWsTabStop, true},
    {"STATE3", 0x80, 0x5 | kWsTabStop, true},
    {"AUTO3STATE", 0x80, 0x6 | kWsTabStop, true},
    {"GROUPBOX", 0x80, 0x7, true},
    {"AUTORADIOBUTTON", 0x80, 0x9 | kWsTabStop, true},
    {"PUSHBOX", 0x80, 0xA | kWsTabStop, true},
    {"EDITTEXT", 0x81, 0x0 | kWsBorder | kWsTabStop, false},
    {"LISTBOX", 0x83, 0x1 | kWsBorder, false},
    {"SCROLLBAR", 0x84, 0x0, false},
    {"COMBOBOX", 0x85, 0x1 | kWsTabStop, false},
};

bool SameNoCase(const std::u16string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char16_t x = a[i] >= u'a' && a[i] <= u'z' ? static_cast<char16_t>(a[i] - 32) : a[i];
        char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
        if (x != static_cast<char16_t>(static_cast<unsigned char>(y))) return false;
    }
    return i == a.size() && !b[i];
}

bool IsBegin(const Token& t) { return t.IsKeyword("BEGIN") || t.IsPunct("{"); }
bool IsEnd(const Token& t) { return t.IsKeyword("END") || t.IsPunct("}"); }

std::string Describe(const Token& t) {
    switch (t.kind) {
    case TokenKind::End: return "the end of the file";
    case TokenKind::String: return "a string";
    default: return "'" + t.text + "'";
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A string literal's text as UTF-16, its escapes resolved as the resource compiler does.
std::u16string StringValue(const Token& t) {
    std::u16string out;
    std::string bytes;  // literal characters waiting for conversion from the code page
    auto flush = [&] {
        out += Decode(bytes, t.codePage, *t.file, t.line);
        bytes.clear();
    };
    auto unit = [&](uint32_t v) {
        if (t.wide) {
            flush();
            out += static_cast<char16_t>(v);
        } else {
            bytes += static_cast<char>(v & 0xFF);
        }
    };
    const std::string& s = t.text;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"' && i + 1 < s.size() && s[i + 1] == '"') {
            bytes += '"';
            ++i;
            continue;
        }
        if (c != '\\' || i + 1 >= s.size()) {
            bytes += c;
            continue;
        }
        char e = s[++i];
        switch (e) {
        case 'n': bytes += '\n'; break;
        case 'r': bytes += '\r'; break;
        case 't': bytes += '\t'; break;
        case 'a': bytes += '\a'; break;
        case 'b': bytes += '\b'; break;
        case 'f': bytes += '\f'; break;
        case 'v': bytes += '\v'; break;
        case '\\': bytes += '\\'; break;
        case '"': bytes += '"'; break;
        case '\'': bytes += '\''; break;
        case '?': bytes += '?'; break;
        case 'x':
        case 'X': {
            uint32_t v = 0;
            size_t n = 0, most = t.wide ? 4 : 2;
            while (n < most && i + 1 < s.size() && HexDigit(s[i + 1]) >= 0) v = v * 16 + static_cast<uint32_t>(HexDigit(s[++i])), ++n;
            if (n == 0) Fail(t, "\\x without hexadecimal digits");
            unit(v);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                uint32_t v = static_cast<uint32_t>(e - '0');
                for (int n = 1; n < 3 && i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '7'; ++n)
                    v = v * 8 + static_cast<uint32_t>(s[++i] - '0');
                unit(v);
            } else {
                bytes += '\\';  // an unknown escape stays as written
                bytes += e;
            }
        }
    }
    flush();
    return out;
}

class ScriptParser {
  public:
    ScriptParser(const std::vector<Token>& tokens, const std::string& path) : c_(tokens), path_(path) {}
    std::vector<Resource> Parse();

  private:
    uint32_t Number(const char* what, uint32_t most = 0xFFFFFFFF);
    std::u16string Strings();  // one or more adjacent literals
    void OptionalComma() { c_.TakePunct(","); }
    void ExpectBegin(const char* what);
    uint16_t LanguageStatement();
    // Statements a resource may carry before its body; returns true when it took one.
    bool CommonStatement(uint16_t& language);
    void SkipMemoryFlags();
    void StringTable();
    void VersionInfo(uint32_t id);
    void RawData(uint32_t type, uint32_t id);
    VersionNode VersionBlock();
    void DialogResource(uint32_t id, bool extended);
    DialogControl Control(const Token& keyword, bool extended);
    // A '|' list whose operands may carry NOT: bits to set and bits to clear.
    void Style(uint32_t& set, uint32_t& clear);
    NameOrOrdinal NameOrNumber(const char* what);
    int16_t Coordinate(const char* what);
    void Add(uint32_t type, uint32_t id, uint16_t language, std::vector<uint8_t> data, const Token& at);

    Cursor c_;
    std::string path_;
    uint16_t language_ = kDefaultLanguage;
    std::map<std::pair<uint16_t, uint16_t>, std::u16string> strings_;
    std::vector<Resource> out_;
};

uint32_t ScriptParser::Number(const char* what, uint32_t most) {
    const Token& at = c_.Peek();
    if (!StartsExpression(at)) Fail(at, std::string("expected ") + what + ", found " + Describe(at));
    int64_t v = Evaluate(c_);
    uint32_t value = static_cast<uint32_t>(v);
    if (most != 0xFFFFFFFF && (v < 0 || v > most)) Fail(at, std::string(what) + " out of range (0 to " + std::to_string(most) + ")");
    return value;
}

std::u16string ScriptParser::Strings() {
    if (c_.Peek().kind != TokenKind::String) Fail(c_.Peek(), "expected a string, found " + Describe(c_.Peek()));
    std::u16string s;
    while (c_.Peek().kind == TokenKind::String) s += StringValue(c_.Next());
    return s;
}

void ScriptParser::ExpectBegin(const char* what) {
    if (!IsBegin(c_.Peek())) Fail(c_.Peek(), std::string("expected BEGIN or '{' to open ") + what + ", found " + Describe(c_.Peek()));
    c_.Next();
}

uint16_t ScriptParser::LanguageStatement() {
    uint32_t primary = Number("a language", 0x3FF);
    if (!c_.TakePunct(",")) Fail(c_.Peek(), "LANGUAGE needs a language and a sublanguage");
    uint32_t sub = Number("a sublanguage", 0x3F);
    return static_cast<uint16_t>((sub << 10) | primary);
}

bool ScriptParser::CommonStatement(uint16_t& language) {
    const Token& t = c_.Peek();
    if (t.IsKeyword("LANGUAGE")) {
        c_.Next();
        language = LanguageStatement();
        return true;
    }
    if (t.IsKeyword("CHARACTERISTICS") || t.IsKeyword("VERSION")) {
        c_.Next();
        Number("a number");
        return true;
    }
    return false;
}

void ScriptParser::SkipMemoryFlags() {
    static const char* const flags[] = {"PRELOAD", "LOADONCALL", "FIXED", "MOVEABLE", "DISCARDABLE", "PURE", "IMPURE", "SHARED", "NONSHARED"};
    for (bool again = true; again;) {
        again = false;
        for (const char* f : flags)
            if (c_.Peek().IsKeyword(f)) c_.Next(), again = true;
    }
}

void ScriptParser::Add(uint32_t type, uint32_t id, uint16_t language, std::vector<uint8_t> data, const Token& at) {
    for (const Resource& r : out_)
        if (r.type == type && r.id == id && r.language == language)
            Fail(at, "resource " + std::to_string(id) + " of type " + std::to_string(type) + " is defined twice");
    out_.push_back({type, id, language, std::move(data)});
}

void ScriptParser::StringTable() {
    uint16_t language = language_;
    SkipMemoryFlags();
    while (CommonStatement(language)) {
    }
    ExpectBegin("the STRINGTABLE");
    while (!IsEnd(c_.Peek())) {
        const Token& at = c_.Peek();
        if (at.kind == TokenKind::End) Fail(at, "STRINGTABLE not closed with END");
        if (at.kind == TokenKind::Identifier) Fail(at, "'" + at.text + "' is not defined as a string id");
        uint16_t id = static_cast<uint16_t>(Number("a string id", 0xFFFF));
        OptionalComma();
        std::u16string text = Strings();
        if (text.size() > 0xFFFF) Fail(at, "string " + std::to_string(id) + " is too long");
        if (!strings_.emplace(std::make_pair(language, id), std::move(text)).second)
            Fail(at, "string id " + std::to_string(id) + " is defined twice");
    }
    c_.Next();
}

VersionNode ScriptParser::VersionBlock() {
    VersionNode block;
    block.block = true;
    block.key = Strings();
    ExpectBegin("the BLOCK");
    for (;;) {
        const Token& t = c_.Peek();
        if (IsEnd(t)) {
            c_.Next();
            return block;
        }
        if (t.IsKeyword("BLOCK")) {
            c_.Next();
            block.children.push_back(VersionBlock());
        } else if (t.IsKeyword("VALUE")) {
            c_.Next();
            VersionNode value;
            value.key = Strings();
            OptionalComma();
            if (c_.Peek().kind == TokenKind::String) {
                value.textValue = Strings();
                // A written terminator stands for the one every text value gets.
                if (!value.textValue.empty() && value.textValue.back() == u'\0') value.textValue.pop_back();
                if (c_.Peek().IsPunct(",")) Fail(c_.Peek(), "a text VALUE takes one string");
            } else {
                value.text = false;
                Bytes b;
                do {
                    const Token& at = c_.Peek();
                    if (at.kind == TokenKind::String) Fail(at, "a VALUE cannot mix numbers and strings");
                    bool isLong = at.isLong;
                    uint32_t v = Number("a number or a string");
                    if (isLong) b.Dword(v);
                    else b.Word(static_cast<uint16_t>(v));
                } while (c_.TakePunct(","));
                value.binary = b.Take();
            }
            block.children.push_back(std::move(value));
        } else {
            Fail(t, "expected BLOCK, VALUE or END, found " + Describe(t));
        }
    }
}

void ScriptParser::VersionInfo(uint32_t id) {
    const Token& at = c_.Peek();
    FixedFileInfo fixed;
    uint16_t language = language_;
    auto version = [&](uint32_t& ms, uint32_t& ls) {
        uint32_t part[4] = {};
        for (int i = 0; i < 4; ++i) {
            part[i] = Number("a version number", 0xFFFF);
            if (!c_.TakePunct(",")) break;
        }
        ms = part[0] << 16 | part[1];
        ls = part[2] << 16 | part[3];
    };
    SkipMemoryFlags();
    for (;;) {
        const Token& t = c_.Peek();
        if (t.IsKeyword("FILEVERSION")) c_.Next(), version(fixed.fileVersionMS, fixed.fileVersionLS);
        else if (t.IsKeyword("PRODUCTVERSION")) c_.Next(), version(fixed.productVersionMS, fixed.productVersionLS);
        else if (t.IsKeyword("FILEFLAGSMASK")) c_.Next(), fixed.fileFlagsMask = Number("a number");
        else if (t.IsKeyword("FILEFLAGS")) c_.Next(), fixed.fileFlags = Number("a number");
        else if (t.IsKeyword("FILEOS")) c_.Next(), fixed.fileOS = Number("a number");
        else if (t.IsKeyword("FILETYPE")) c_.Next(), fixed.fileType = Number("a number");
        else if (t.IsKeyword("FILESUBTYPE")) c_.Next(), fixed.fileSubtype = Number("a number");
        else if (!CommonStatement(language)) break;
    }
    ExpectBegin("the VERSIONINFO");
    std::vector<VersionNode> blocks;
    for (;;) {
        const Token& t = c_.Peek();
        if (IsEnd(t)) break;
        if (!t.IsKeyword("BLOCK")) Fail(t, "expected BLOCK or END in VERSIONINFO, found " + Describe(t));
        c_.Next();
        blocks.push_back(VersionBlock());
    }
    c_.Next();
    std::vector<uint8_t> data;
    if (std::string err = rc::VersionInfo(fixed, blocks, data); !err.empty()) Fail(at, err);
    Add(kRtVersion, id, language, std::move(data), at);
}

void ScriptParser::Style(uint32_t& set, uint32_t& clear) {
    set = clear = 0;
    do {
        bool negate = false;
        if (c_.Peek().IsKeyword("NOT")) c_.Next(), negate = true;
        const Token& at = c_.Peek();
        if (!StartsExpression(at)) Fail(at, "expected a style, found " + Describe(at));
        uint32_t v = static_cast<uint32_t>(EvaluateStyleTerm(c_));
        if (negate) clear |= v, set &= ~v;
        else set |= v, clear &= ~v;
    } while (c_.TakePunct("|"));
}

NameOrOrdinal ScriptParser::NameOrNumber(const char* what) {
    NameOrOrdinal n;
    const Token& t = c_.Peek();
    if (t.kind == TokenKind::String) {
        n.name = Strings();
    } else if (t.kind == TokenKind::Identifier) {
        // An undefined name stands for itself, in capitals, as the resource compiler keeps it.
        for (char ch : c_.Next().text) n.name += static_cast<char16_t>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
    } else {
        n.isOrdinal = true;
        n.ordinal = static_cast<uint16_t>(Number(what, 0xFFFF));
    }
    return n;
}

int16_t ScriptParser::Coordinate(const char* what) {
    const Token& at = c_.Peek();
    if (!StartsExpression(at)) Fail(at, std::string("expected ") + what + ", found " + Describe(at));
    int64_t v = static_cast<int32_t>(static_cast<uint32_t>(Evaluate(c_)));
    if (v < -32768 || v > 32767) Fail(at, std::string(what) + " out of range (-32768 to 32767)");
    return static_cast<int16_t>(v);
}

DialogControl ScriptParser::Control(const Token& keyword, bool extended) {
    DialogControl ctl;
    auto comma = [&](const char* before) {
        if (!c_.TakePunct(",")) Fail(c_.Peek(), std::string("expected ',' before ") + before + ", found " + Describe(c_.Peek()));
    };
    auto text = [&] {
        if (c_.Peek().kind == TokenKind::String) ctl.text.name = Strings();
        else ctl.text.isOrdinal = true, ctl.text.ordinal = static_cast<uint16_t>(Number("a text or a number", 0xFFFF));
    };
    auto position = [&](bool sizeOptional) {
        ctl.x = Coordinate("an x position");
        comma("the y position");
        ctl.y = Coordinate("a y position");
        if (sizeOptional && !c_.Peek().IsPunct(",")) return;
        comma("the width");
        ctl.cx = Coordinate("a width");
        comma("the height");
        ctl.cy = Coordinate("a height");
    };
    auto tail = [&](bool withStyle) {
        if (withStyle && c_.TakePunct(",")) {
            uint32_t set, clear;
            Style(set, clear);
            ctl.style = (ctl.style | set) & ~clear;
        }
        if (c_.TakePunct(",")) ctl.exStyle = Number("an extended style");
        if (extended && c_.TakePunct(",")) ctl.helpId = Number("a help id");
    };
    uint32_t base = kWsChild | kWsVisible;
    if (keyword.IsKeyword("CONTROL")) {
        text();
        comma("the control id");
        ctl.id = Number("a control id");
        comma("the class");
        const Token& cls = c_.Peek();
        if (cls.kind != TokenKind::String && cls.kind != TokenKind::Identifier && !StartsExpression(cls))
            Fail(cls, "expected a class name, found " + Describe(cls));
        ctl.className = NameOrNumber("a class");
        for (const auto& [name, atom] : kClassAtoms)
            if (!ctl.className.isOrdinal && SameNoCase(ctl.className.name, name))
                ctl.className = {true, atom, {}};
        comma("the style");
        uint32_t set, clear;
        Style(set, clear);
        ctl.style = (base | set) & ~clear;
        comma("the x position");
        position(false);
        tail(false);
        return ctl;
    }
    if (keyword.IsKeyword("ICON")) {
        text();
        comma("the control id");
        ctl.id = Number("a control id");
        comma("the x position");
        ctl.className = {true, 0x82, {}};
        ctl.style = base | 0x3;  // SS_ICON
        position(true);
        tail(true);
        return ctl;
    }
    for (const ControlKind& k : kControlKinds) {
        if (!keyword.IsKeyword(k.keyword)) continue;
        if (k.hasText) {
            text();
            comma("the control id");
        }
        ctl.id = Number("a control id");
        comma("the x position");
        ctl.className = {true, k.atom, {}};
        ctl.style = base | k.style;
        position(false);
        tail(true);
        return ctl;
    }
    Fail(keyword, "expected a control statement or END, found " + Describe(keyword));
}

void ScriptParser::DialogResource(uint32_t id, bool extended) {
    const Token& at = c_.Peek();
    Dialog d;
    d.extended = extended;
    uint16_t language = language_;
    SkipMemoryFlags();
    d.x = Coordinate("an x position");
    if (!c_.TakePunct(",")) Fail(c_.Peek(), "expected ',' before the y position");
    d.y = Coordinate("a y position");
    if (!c_.TakePunct(",")) Fail(c_.Peek(), "expected ',' before the width");
    d.cx = Coordinate("a width");
    if (!c_.TakePunct(",")) Fail(c_.Peek(), "expected ',' before the height");
    d.cy = Coordinate("a height");
    if (extended && c_.TakePunct(",")) d.helpId = Number("a help id");

    bool gotStyle = false, gotCaption = false;
    for (;;) {
        const Token& t = c_.Peek();
        if (t.IsKeyword("STYLE")) {
            c_.Next();
            uint32_t set, clear;
            Style(set, clear);
            d.style = set;  // NOT has nothing to take away here but what the same list set
            gotStyle = true;
        } else if (t.IsKeyword("EXSTYLE")) {
            c_.Next();
            d.exStyle = Number("an extended style");
        } else if (t.IsKeyword("CAPTION")) {
            c_.Next();
            d.caption = Strings();
            gotCaption = true;
        } else if (t.IsKeyword("CLASS")) {
            c_.Next();
            d.className = NameOrNumber("a class");
        } else if (t.IsKeyword("MENU")) {
            c_.Next();
            d.menu = NameOrNumber("a menu");
        } else if (t.IsKeyword("FONT")) {
            c_.Next();
            d.font.pointSize = static_cast<uint16_t>(Number("a point size", 0xFFFF));
            if (!c_.TakePunct(",")) Fail(c_.Peek(), "expected ',' before the typeface");
            d.font.typeface = Strings();
            if (extended && c_.TakePunct(",")) {
                d.font.weight = static_cast<uint16_t>(Number("a weight", 0xFFFF));
                if (c_.TakePunct(",")) {
                    d.font.italic = static_cast<uint8_t>(Number("an italic flag", 0xFF));
                    if (c_.TakePunct(",")) d.font.charset = static_cast<uint8_t>(Number("a character set", 0xFF));
                }
            }
            d.hasFont = true;
        } else if (!CommonStatement(language)) {
            break;
        }
    }
    // Without STYLE a dialog is a bordered pop-up with a system menu; CAPTION and FONT bring their bits.
    if (!gotStyle) d.style = 0x80880000;  // WS_POPUP | WS_BORDER | WS_SYSMENU
    if (gotCaption) d.style |= kWsCaption;
    if (d.hasFont) d.style |= kDsSetFont;

    ExpectBegin(extended ? "the DIALOGEX" : "the DIALOG");
    for (;;) {
        const Token& t = c_.Peek();
        if (IsEnd(t)) break;
        if (t.kind == TokenKind::End) Fail(t, "dialog not closed with END");
        if (t.kind != TokenKind::Identifier) Fail(t, "expected a control statement or END, found " + Describe(t));
        const Token& keyword = c_.Next();
        d.controls.push_back(Control(keyword, extended));
    }
    c_.Next();
    std::vector<uint8_t> data;
    if (std::string err = rc::DialogTemplate(d, data); !err.empty()) Fail(at, err);
    Add(kRtDialog, id, language, std::move(data), at);
}

void ScriptParser::RawData(uint32_t type, uint32_t id) {
    const Token& at = c_.Peek();
    uint16_t language = language_;
    SkipMemoryFlags();
    while (CommonStatement(language)) {
    }
    Bytes b;
    if (c_.Peek().kind == TokenKind::String) {
        // The data come from a file beside the script.
        std::u16string name = Strings();
        std::string file;
        for (char16_t ch : name) file += static_cast<char>(ch < 0x80 ? ch : '?');
        std::filesystem::path p = std::filesystem::path(path_).parent_path() / file;
        std::string content = ReadFile(p.string());
        b.Raw(std::vector<uint8_t>(content.begin(), content.end()));
    } else {
        ExpectBegin("the data");
        while (!IsEnd(c_.Peek())) {
            const Token& t = c_.Peek();
            if (t.kind == TokenKind::End) Fail(t, "data block not closed with END");
            if (t.kind == TokenKind::String) {
                const Token& literal = c_.Next();
                std::u16string s = StringValue(literal);
                if (literal.wide) b.Text(s);
                else
                    for (char16_t ch : s) b.Raw({platform::cp1252::FromUnicode(ch)});
            } else {
                bool isLong = t.isLong;
                uint32_t v = Number("a number or a string");
                if (isLong) b.Dword(v);
                else b.Word(static_cast<uint16_t>(v));
            }
            OptionalComma();
        }
        c_.Next();
    }
    Add(type, id, language, b.Take(), at);
}

std::vector<Resource> ScriptParser::Parse() {
    using Handler = std::function<void(uint32_t id)>;
    const std::pair<const char*, Handler> handlers[] = {
        {"VERSIONINFO", [this](uint32_t id) { VersionInfo(id); }},
        {"RCDATA", [this](uint32_t id) { RawData(kRtRcData, id); }},
        {"DIALOG", [this](uint32_t id) { DialogResource(id, false); }},
        {"DIALOGEX", [this](uint32_t id) { DialogResource(id, true); }},
    };
    static const char* const notYet[] = {"MENU", "MENUEX", "ICON", "CURSOR", "BITMAP",
                                         "ACCELERATORS", "FONT", "HTML", "MESSAGETABLE", "TOOLBAR", "DLGINIT",
                                         "TEXTINCLUDE", "DESIGNINFO", "PLUGPLAY", "VXD", "ANICURSOR", "ANIICON"};
    while (!c_.AtEnd()) {
        const Token& t = c_.Peek();
        if (t.IsKeyword("LANGUAGE")) {
            c_.Next();
            language_ = LanguageStatement();
            continue;
        }
        if (t.IsKeyword("STRINGTABLE")) {
            c_.Next();
            StringTable();
            continue;
        }
        if (t.IsKeyword("VERSION") || t.IsKeyword("CHARACTERISTICS")) {
            c_.Next();
            Number("a number");
            continue;
        }
        if (t.kind == TokenKind::Identifier) {
            const Token& type = c_.Peek(1);
            if (type.kind == TokenKind::Identifier || type.kind == TokenKind::Number)
                Fail(t, "resource names must be numbers; '" + t.text + "' is not defined");
            Fail(t, "expected a resource definition, found " + Describe(t));
        }
        if (!StartsExpression(t)) Fail(t, "expected a resource definition, found " + Describe(t));
        uint32_t id = Number("a resource id", 0xFFFF);
        const Token& type = c_.Peek();
        if (type.kind == TokenKind::Number) {
            uint32_t userType = Number("a resource type", 0xFFFF);
            RawData(userType, id);
            continue;
        }
        if (type.kind != TokenKind::Identifier) Fail(type, "expected a resource type after the id, found " + Describe(type));
        bool handled = false;
        for (const auto& [keyword, handler] : handlers)
            if (type.IsKeyword(keyword)) {
                c_.Next();
                handler(id);
                handled = true;
                break;
            }
        if (handled) continue;
        for (const char* keyword : notYet)
            if (type.IsKeyword(keyword)) Fail(type, std::string("resource type ") + keyword + " is not supported yet");
        Fail(type, "unknown resource type '" + type.text + "'");
    }
    std::vector<Resource> bundles = StringBundles(strings_);
    out_.insert(out_.begin(), bundles.begin(), bundles.end());
    return std::move(out_);
}

}  // namespace

std::vector<Resource> CompileScript(const std::string& path, const Options& options) {
    Preprocessor pre(options);
    std::vector<Token> tokens = pre.Run(path);
    ScriptParser parser(tokens, path);
    return parser.Parse();
}

}  // namespace rc
