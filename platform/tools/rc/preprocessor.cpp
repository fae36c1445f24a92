// The resource script preprocessor. Headers (.h, .c) contribute only their
// directives, as the Windows resource compiler reads them.
#include "preprocessor.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace rc {

namespace fs = std::filesystem;

void Fail(const Token& at, const std::string& message) { Fail(at.file ? *at.file : std::string("?"), at.line, message); }

bool Token::IsKeyword(const char* upper) const {
    if (kind != TokenKind::Identifier) return false;
    size_t i = 0;
    for (; upper[i]; ++i)
        if (i >= text.size() || std::toupper(static_cast<unsigned char>(text[i])) != upper[i]) return false;
    return i == text.size();
}

namespace {

constexpr int kMaxIncludeDepth = 32;
constexpr int kMaxExpansionDepth = 64;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\f\v\r");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\f\v\r");
    return s.substr(a, b - a + 1);
}

bool IdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Removes comments, keeping string literals intact; `inComment` carries a /* */ across lines.
std::string StripComments(const std::string& line, bool& inComment) {
    std::string out;
    for (size_t i = 0; i < line.size();) {
        if (inComment) {
            size_t end = line.find("*/", i);
            if (end == std::string::npos) return out;
            inComment = false;
            out += ' ';
            i = end + 2;
            continue;
        }
        char c = line[i];
        if (c == '"') {
            size_t j = i + 1;
            while (j < line.size()) {
                if (line[j] == '\\' && j + 1 < line.size()) j += 2;
                else if (line[j] == '"' && j + 1 < line.size() && line[j + 1] == '"') j += 2;
                else if (line[j] == '"') break;
                else ++j;
            }
            out.append(line, i, std::min(j + 1, line.size()) - i);
            i = j + 1;
            continue;
        }
        if (c == '/' && i + 1 < line.size() && line[i + 1] == '/') return out;
        if (c == '/' && i + 1 < line.size() && line[i + 1] == '*') {
            inComment = true;
            i += 2;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

// Names the Windows SDK headers a script may include; their constants are built in.
const char* const kSystemHeaders[] = {"windows.h", "winver.h", "winres.h", "winresrc.h", "winuser.h", "winnt.h",
                                      "winuser.rh", "commctrl.h", "afxres.h", "verrsrc.h", "winbase.h"};

const std::pair<const char*, uint32_t> kSystemConstants[] = {
    {"VS_VERSION_INFO", 1}, {"VS_FILE_INFO", 16}, {"VS_FFI_SIGNATURE", 0xFEEF04BD},
    {"VS_FFI_STRUCVERSION", 0x00010000}, {"VS_FFI_FILEFLAGSMASK", 0x3F}, {"VS_FF_DEBUG", 0x1},
    {"VS_FF_PRERELEASE", 0x2}, {"VS_FF_PATCHED", 0x4}, {"VS_FF_PRIVATEBUILD", 0x8}, {"VS_FF_INFOINFERRED", 0x10},
    {"VS_FF_SPECIALBUILD", 0x20}, {"VOS_UNKNOWN", 0}, {"VOS_DOS", 0x10000}, {"VOS_OS216", 0x20000},
    {"VOS_OS232", 0x30000}, {"VOS_NT", 0x40000}, {"VOS__BASE", 0}, {"VOS__WINDOWS16", 1}, {"VOS__PM16", 2},
    {"VOS__PM32", 3}, {"VOS__WINDOWS32", 4}, {"VOS_DOS_WINDOWS16", 0x10001}, {"VOS_DOS_WINDOWS32", 0x10004},
    {"VOS_NT_WINDOWS32", 0x40004}, {"VFT_UNKNOWN", 0}, {"VFT_APP", 1}, {"VFT_DLL", 2}, {"VFT_DRV", 3},
    {"VFT_FONT", 4}, {"VFT_VXD", 5}, {"VFT_STATIC_LIB", 7}, {"VFT2_UNKNOWN", 0}, {"LANG_NEUTRAL", 0},
    {"LANG_GERMAN", 0x07}, {"LANG_ENGLISH", 0x09}, {"LANG_SPANISH", 0x0a}, {"LANG_FRENCH", 0x0c},
    {"LANG_ITALIAN", 0x10}, {"LANG_JAPANESE", 0x11}, {"LANG_DUTCH", 0x13}, {"SUBLANG_NEUTRAL", 0},
    {"SUBLANG_DEFAULT", 1}, {"SUBLANG_SYS_DEFAULT", 2}, {"SUBLANG_ENGLISH_US", 1}, {"SUBLANG_ENGLISH_UK", 2},
    {"SUBLANG_GERMAN", 1}, {"SUBLANG_FRENCH", 1}, {"IDOK", 1}, {"IDCANCEL", 2}, {"IDABORT", 3}, {"IDRETRY", 4},
    {"IDIGNORE", 5}, {"IDYES", 6}, {"IDNO", 7}, {"IDC_STATIC", static_cast<uint32_t>(-1)},
    // Window, dialog and control styles.
    {"WS_OVERLAPPED", 0}, {"WS_POPUP", 0x80000000}, {"WS_CHILD", 0x40000000}, {"WS_MINIMIZE", 0x20000000},
    {"WS_VISIBLE", 0x10000000}, {"WS_DISABLED", 0x08000000}, {"WS_CLIPSIBLINGS", 0x04000000},
    {"WS_CLIPCHILDREN", 0x02000000}, {"WS_MAXIMIZE", 0x01000000}, {"WS_CAPTION", 0x00C00000},
    {"WS_BORDER", 0x00800000}, {"WS_DLGFRAME", 0x00400000}, {"WS_VSCROLL", 0x00200000}, {"WS_HSCROLL", 0x00100000},
    {"WS_SYSMENU", 0x00080000}, {"WS_THICKFRAME", 0x00040000}, {"WS_GROUP", 0x00020000}, {"WS_TABSTOP", 0x00010000},
    {"WS_MINIMIZEBOX", 0x00020000}, {"WS_MAXIMIZEBOX", 0x00010000}, {"WS_SIZEBOX", 0x00040000},
    {"WS_OVERLAPPEDWINDOW", 0x00CF0000}, {"WS_POPUPWINDOW", 0x80880000},
    {"WS_EX_DLGMODALFRAME", 0x1}, {"WS_EX_TOPMOST", 0x8}, {"WS_EX_TRANSPARENT", 0x20}, {"WS_EX_TOOLWINDOW", 0x80},
    {"WS_EX_WINDOWEDGE", 0x100}, {"WS_EX_CLIENTEDGE", 0x200}, {"WS_EX_CONTEXTHELP", 0x400},
    {"WS_EX_STATICEDGE", 0x20000}, {"WS_EX_APPWINDOW", 0x40000}, {"WS_EX_CONTROLPARENT", 0x10000},
    {"DS_ABSALIGN", 0x1}, {"DS_SYSMODAL", 0x2}, {"DS_3DLOOK", 0x4}, {"DS_FIXEDSYS", 0x8}, {"DS_NOFAILCREATE", 0x10},
    {"DS_LOCALEDIT", 0x20}, {"DS_SETFONT", 0x40}, {"DS_MODALFRAME", 0x80}, {"DS_NOIDLEMSG", 0x100},
    {"DS_SETFOREGROUND", 0x200}, {"DS_CONTROL", 0x400}, {"DS_CENTER", 0x800}, {"DS_CENTERMOUSE", 0x1000},
    {"DS_CONTEXTHELP", 0x2000}, {"DS_SHELLFONT", 0x48},
    {"BS_PUSHBUTTON", 0}, {"BS_DEFPUSHBUTTON", 1}, {"BS_CHECKBOX", 2}, {"BS_AUTOCHECKBOX", 3},
    {"BS_RADIOBUTTON", 4}, {"BS_3STATE", 5}, {"BS_AUTO3STATE", 6}, {"BS_GROUPBOX", 7}, {"BS_AUTORADIOBUTTON", 9},
    {"BS_OWNERDRAW", 0xB}, {"BS_LEFTTEXT", 0x20}, {"BS_ICON", 0x40}, {"BS_BITMAP", 0x80}, {"BS_LEFT", 0x100},
    {"BS_RIGHT", 0x200}, {"BS_CENTER", 0x300}, {"BS_TOP", 0x400}, {"BS_BOTTOM", 0x800}, {"BS_VCENTER", 0xC00},
    {"BS_MULTILINE", 0x2000}, {"BS_NOTIFY", 0x4000}, {"BS_FLAT", 0x8000},
    {"SS_LEFT", 0}, {"SS_CENTER", 1}, {"SS_RIGHT", 2}, {"SS_ICON", 3}, {"SS_BLACKRECT", 4}, {"SS_GRAYRECT", 5},
    {"SS_WHITERECT", 6}, {"SS_BLACKFRAME", 7}, {"SS_GRAYFRAME", 8}, {"SS_WHITEFRAME", 9}, {"SS_SIMPLE", 0xB},
    {"SS_LEFTNOWORDWRAP", 0xC}, {"SS_BITMAP", 0xE}, {"SS_ETCHEDHORZ", 0x10}, {"SS_ETCHEDVERT", 0x11},
    {"SS_ETCHEDFRAME", 0x12}, {"SS_NOPREFIX", 0x80}, {"SS_NOTIFY", 0x100}, {"SS_CENTERIMAGE", 0x200},
    {"SS_SUNKEN", 0x1000},
    {"ES_LEFT", 0}, {"ES_CENTER", 1}, {"ES_RIGHT", 2}, {"ES_MULTILINE", 4}, {"ES_UPPERCASE", 8},
    {"ES_LOWERCASE", 0x10}, {"ES_PASSWORD", 0x20}, {"ES_AUTOVSCROLL", 0x40}, {"ES_AUTOHSCROLL", 0x80},
    {"ES_NOHIDESEL", 0x100}, {"ES_READONLY", 0x800}, {"ES_WANTRETURN", 0x1000}, {"ES_NUMBER", 0x2000},
    {"LBS_NOTIFY", 1}, {"LBS_SORT", 2}, {"LBS_NOINTEGRALHEIGHT", 0x100}, {"LBS_STANDARD", 0xA00003},
    {"CBS_SIMPLE", 1}, {"CBS_DROPDOWN", 2}, {"CBS_DROPDOWNLIST", 3}, {"CBS_AUTOHSCROLL", 0x40}, {"CBS_SORT", 0x100},
    {"SBS_HORZ", 0}, {"SBS_VERT", 1},
    {"PBS_SMOOTH", 1}, {"PBS_VERTICAL", 4},
};

}  // namespace

void Preprocessor::DefineBuiltins(const std::string& header) {
    bool first = builtinsLoaded_.empty();
    builtinsLoaded_.insert(header);
    if (!first) return;
    for (const auto& [name, value] : kSystemConstants) {
        Token t;
        t.kind = TokenKind::Number;
        t.value = value;
        t.isLong = true;
        t.text = std::to_string(value);
        macros_[name] = {t};
    }
}

std::vector<Token> Preprocessor::Run(const std::string& path) {
    Token marker;
    marker.kind = TokenKind::Number;
    marker.value = 1;
    macros_["RC_INVOKED"] = {marker};
    ProcessFile(path, false, 0);
    if (!conditionals_.empty()) Fail(path, 0, "#if without #endif");
    Token end;
    end.kind = TokenKind::End;
    end.file = std::make_shared<const std::string>(path);
    end.line = output_.empty() ? 0 : output_.back().line;
    output_.push_back(end);
    return std::move(output_);
}

void Preprocessor::ProcessFile(const std::string& path, bool directivesOnly, int depth) {
    auto file = std::make_shared<const std::string>(path);
    std::string bytes = ReadFile(path);
    unsigned codePage = 1252;
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
        bytes.erase(0, 3);
        codePage = 65001;
    } else if (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0) {
        Fail(path, 0, "UTF-16 input is not supported; save the file as UTF-8 or Windows-1252");
    }
    if (bytes.find('\0') != std::string::npos) Fail(path, 0, "the file holds a zero byte; it is not a text file");
    const size_t conditionalsAtStart = conditionals_.size();

    bool inComment = false;
    size_t pos = 0;
    int lineNo = 0;
    while (pos < bytes.size()) {
        // One logical line: physical lines joined where one ends with a backslash.
        int startLine = lineNo + 1;
        std::string logical;
        for (;;) {
            size_t nl = bytes.find('\n', pos);
            std::string physical = bytes.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
            pos = nl == std::string::npos ? bytes.size() : nl + 1;
            ++lineNo;
            if (!physical.empty() && physical.back() == '\r') physical.pop_back();
            if (!physical.empty() && physical.back() == '\\' && pos < bytes.size()) {
                physical.pop_back();
                logical += physical;
                continue;
            }
            logical += physical;
            break;
        }
        bool commentBefore = inComment;
        std::string text = Trim(StripComments(logical, inComment));
        if (!commentBefore && !text.empty() && text[0] == '#') {
            Directive(Trim(text.substr(1)), file, startLine, codePage, directivesOnly, depth, path);
            continue;
        }
        if (directivesOnly || !Active() || text.empty()) continue;
        std::vector<Token> tokens = Tokenize(text, file, startLine, codePage);
        std::set<std::string> expanding;
        Expand(tokens, output_, expanding, 0);
    }
    if (inComment) Fail(path, lineNo, "comment not closed before the end of the file");
    if (conditionals_.size() != conditionalsAtStart) Fail(path, lineNo, "#if without #endif in this file");
}

std::vector<Token> Preprocessor::Tokenize(const std::string& text, const std::shared_ptr<const std::string>& file,
                                          int line, unsigned codePage, bool forIf) const {
    std::vector<Token> out;
    auto fail = [&](const std::string& m) { Fail(*file, line, m); };
    for (size_t i = 0; i < text.size();) {
        char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        Token t;
        t.file = file;
        t.line = line;
        t.codePage = codePage;
        if ((c == 'L' || c == 'l') && i + 1 < text.size() && text[i + 1] == '"') {
            t.wide = true;
            ++i;
            c = '"';
        }
        if (c == '"') {
            size_t j = i + 1;
            for (;;) {
                if (j >= text.size()) fail("string not closed on its line");
                if (text[j] == '\\' && j + 1 < text.size()) j += 2;
                else if (text[j] == '"' && j + 1 < text.size() && text[j + 1] == '"') j += 2;
                else if (text[j] == '"') break;
                else ++j;
            }
            t.kind = TokenKind::String;
            t.text = text.substr(i + 1, j - i - 1);
            i = j + 1;
        } else if (IdentStart(c)) {
            size_t j = i;
            while (j < text.size() && IdentChar(text[j])) ++j;
            t.kind = TokenKind::Identifier;
            t.text = text.substr(i, j - i);
            i = j;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            size_t j = i;
            uint64_t v = 0;
            bool hex = c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X');
            if (hex) {
                j += 2;
                if (j >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[j])))
                    fail("hexadecimal number without digits");
                for (; j < text.size() && std::isxdigit(static_cast<unsigned char>(text[j])); ++j) {
                    v = v * 16 + static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(text[j]))
                                                           ? text[j] - '0'
                                                           : std::tolower(static_cast<unsigned char>(text[j])) - 'a' + 10);
                    if (v > 0xFFFFFFFFu) fail("number too large for 32 bits");
                }
            } else {
                for (; j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])); ++j) {
                    v = v * 10 + static_cast<uint64_t>(text[j] - '0');
                    if (v > 0xFFFFFFFFu) fail("number too large for 32 bits");
                }
            }
            while (j < text.size() && std::strchr("lLuU", text[j])) {
                if (text[j] == 'l' || text[j] == 'L') t.isLong = true;
                ++j;
            }
            if (j < text.size() && IdentChar(text[j])) fail("malformed number '" + text.substr(i, j - i + 1) + "'");
            t.kind = TokenKind::Number;
            t.value = static_cast<uint32_t>(v);
            t.text = text.substr(i, j - i);
            i = j;
        } else if (c == '\'' && forIf) {
            if (i + 2 >= text.size() || text[i + 2] != '\'') fail("malformed character constant");
            t.kind = TokenKind::Number;
            t.value = static_cast<unsigned char>(text[i + 1]);
            t.text = text.substr(i, 3);
            i += 3;
        } else {
            static const char* const twoChar[] = {"&&", "||", "<<", ">>", "==", "!=", "<=", ">="};
            t.kind = TokenKind::Punctuator;
            for (const char* op : twoChar)
                if (text.compare(i, 2, op) == 0) t.text = op;
            if (t.text.empty()) {
                if (!std::strchr(",{}()|&+-*/~!<>=^%?:", c)) {
                    char shown[8];
                    snprintf(shown, sizeof shown, (c > 32 && c < 127) ? "'%c'" : "0x%02X", static_cast<unsigned char>(c));
                    fail(std::string("unexpected character ") + shown);
                }
                t.text = std::string(1, c);
            }
            i += t.text.size();
        }
        out.push_back(std::move(t));
    }
    return out;
}

void Preprocessor::Expand(const std::vector<Token>& in, std::vector<Token>& out, std::set<std::string>& active,
                          int depth) const {
    for (const Token& t : in) {
        if (t.kind != TokenKind::Identifier || active.count(t.text)) {
            out.push_back(t);
            continue;
        }
        if (functionMacros_.count(t.text)) Fail(t, "macros with parameters are not supported: '" + t.text + "'");
        auto it = macros_.find(t.text);
        if (it == macros_.end()) {
            out.push_back(t);
            continue;
        }
        if (depth > kMaxExpansionDepth) Fail(t, "macro '" + t.text + "' expands too deeply");
        // Expanded tokens take the position of the use, so errors point at the script.
        std::vector<Token> body = it->second;
        for (Token& b : body) {
            b.file = t.file;
            b.line = t.line;
        }
        active.insert(t.text);
        Expand(body, out, active, depth + 1);
        active.erase(t.text);
    }
}

void Preprocessor::Directive(const std::string& text, const std::shared_ptr<const std::string>& file, int line,
                             unsigned& codePage, bool directivesOnly, int depth, const std::string& path) {
    size_t nameEnd = 0;
    while (nameEnd < text.size() && IdentChar(text[nameEnd])) ++nameEnd;
    std::string name = text.substr(0, nameEnd);
    std::string rest = Trim(text.substr(nameEnd));
    auto fail = [&](const std::string& m) { Fail(*file, line, m); };

    auto evaluateIf = [&](const std::string& expression) {
        std::vector<Token> raw = Tokenize(expression, file, line, codePage, true), replaced;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i].kind == TokenKind::Identifier && raw[i].text == "defined") {
                bool paren = i + 1 < raw.size() && raw[i + 1].IsPunct("(");
                size_t at = i + (paren ? 2 : 1);
                if (at >= raw.size() || raw[at].kind != TokenKind::Identifier) fail("'defined' needs a macro name");
                if (paren && (at + 1 >= raw.size() || !raw[at + 1].IsPunct(")"))) fail("expected ')' after 'defined('");
                Token v = raw[at];
                v.kind = TokenKind::Number;
                v.value = (macros_.count(raw[at].text) || functionMacros_.count(raw[at].text)) ? 1 : 0;
                replaced.push_back(v);
                i = at + (paren ? 1 : 0);
            } else {
                replaced.push_back(raw[i]);
            }
        }
        std::vector<Token> expanded;
        std::set<std::string> expanding;
        Expand(replaced, expanded, expanding, 0);
        for (Token& t : expanded)
            if (t.kind == TokenKind::Identifier) t.kind = TokenKind::Number, t.value = 0;  // as C does
        if (expanded.empty()) fail("#" + name + " without an expression");
        Token end;
        end.kind = TokenKind::End;
        end.file = file;
        end.line = line;
        expanded.push_back(end);
        Cursor c(expanded);
        int64_t v = Evaluate(c);
        if (!c.AtEnd()) Fail(c.Peek(), "unexpected '" + c.Peek().text + "' in #" + name);
        return v != 0;
    };

    if (name == "if" || name == "ifdef" || name == "ifndef") {
        bool outer = Active(), value = false;
        if (outer) {
            if (name == "if") {
                value = evaluateIf(rest);
            } else {
                if (rest.empty() || !IdentStart(rest[0])) fail("#" + name + " needs a macro name");
                std::string macro = rest.substr(0, rest.find_first_of(" \t"));
                bool defined = macros_.count(macro) || functionMacros_.count(macro);
                value = name == "ifdef" ? defined : !defined;
            }
        }
        conditionals_.push_back({outer && value, outer && value, outer, false});
        return;
    }
    if (name == "elif" || name == "else" || name == "endif") {
        if (conditionals_.empty()) fail("#" + name + " without #if");
        Conditional& top = conditionals_.back();
        if (name == "endif") {
            conditionals_.pop_back();
            return;
        }
        if (top.seenElse) fail("#" + name + " after #else");
        if (name == "else") {
            top.seenElse = true;
            top.active = top.outerActive && !top.taken;
        } else {
            top.active = top.outerActive && !top.taken && evaluateIf(rest);
        }
        top.taken = top.taken || top.active;
        return;
    }
    if (!Active()) return;

    if (name == "define") {
        size_t end = 0;
        if (rest.empty() || !IdentStart(rest[0])) fail("#define needs a macro name");
        while (end < rest.size() && IdentChar(rest[end])) ++end;
        std::string macro = rest.substr(0, end);
        if (end < rest.size() && rest[end] == '(') {
            functionMacros_.insert(macro);
            macros_.erase(macro);
            return;
        }
        functionMacros_.erase(macro);
        macros_[macro] = Tokenize(rest.substr(end), file, line, codePage);
    } else if (name == "undef") {
        macros_.erase(rest);
        functionMacros_.erase(rest);
    } else if (name == "include") {
        if (depth + 1 >= kMaxIncludeDepth) fail("#include nested too deeply");
        if (rest.size() < 3) fail("#include needs a file name in quotes or angle brackets");
        char close = rest[0] == '"' ? '"' : rest[0] == '<' ? '>' : 0;
        size_t end = close ? rest.find(close, 1) : std::string::npos;
        if (!close || end == std::string::npos || end == 1) fail("#include needs a file name in quotes or angle brackets");
        std::string target = rest.substr(1, end - 1);
        if (close == '>') {
            for (const char* h : kSystemHeaders)
                if (Lower(target) == h) {
                    DefineBuiltins(Lower(target));
                    return;
                }
        }
        std::vector<fs::path> dirs;
        if (close == '"') dirs.push_back(fs::path(path).parent_path());
        for (const std::string& d : options_.includeDirs) dirs.emplace_back(d);
        for (const fs::path& d : dirs) {
            fs::path candidate = d / target;
            std::error_code ec;
            if (fs::is_regular_file(candidate, ec)) {
                std::string ext = Lower(candidate.extension().string());
                bool header = ext == ".h" || ext == ".hpp" || ext == ".hh" || ext == ".c";
                ProcessFile(candidate.string(), directivesOnly || header, depth + 1);
                return;
            }
        }
        fail("cannot find the include file '" + target + "'");
    } else if (name == "pragma") {
        std::vector<Token> t = Tokenize(rest, file, line, codePage);
        if (!t.empty() && t[0].text == "code_page") {
            if (t.size() != 4 || !t[1].IsPunct("(") || t[2].kind != TokenKind::Number || !t[3].IsPunct(")"))
                fail("#pragma code_page needs a number in parentheses");
            if (t[2].value != 1252 && t[2].value != 65001) fail("code page " + t[2].text + " is not supported (1252, 65001)");
            codePage = t[2].value;
        }
        // Other pragmas mean nothing to resources.
    } else if (name == "error") {
        fail("#error " + rest);
    } else if (name == "line" || name.empty()) {
        // A bare '#' and line markers change nothing here.
    } else {
        fail("unknown directive #" + name);
    }
}

}  // namespace rc
