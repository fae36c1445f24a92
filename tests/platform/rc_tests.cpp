// The resource compiler refuses malformed scripts and message files with a
// message that names the place, and never crashes on them.
#include "compiler.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

namespace fs = std::filesystem;

class ResourceCompiler : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/rc_tests.XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& text) {
        std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // The compiler's complaint, or "" when the input compiles.
    std::string Complaint(const std::string& name, const std::string& text) {
        std::string path = Write(name, text);
        try {
            if (name.size() > 3 && name.substr(name.size() - 3) == ".mc") rc::CompileMessageFile(path);
            else rc::CompileScript(path, {});
        } catch (const rc::Error& e) {
            return e.what();
        }
        return "";
    }

    fs::path dir_;
};

TEST_F(ResourceCompiler, MalformedScripts) {
    struct {
        const char* text;
        const char* complaint;
    } cases[] = {
        {"STRINGTABLE\nBEGIN\n 1 \"open\nEND\n", "t.rc:3: string not closed on its line"},
        {"STRINGTABLE\nBEGIN\n 1 \"a\"\n", "STRINGTABLE not closed with END"},
        {"STRINGTABLE\nBEGIN\n IDS_NOWHERE \"a\"\nEND\n", "t.rc:3: 'IDS_NOWHERE' is not defined as a string id"},
        {"STRINGTABLE\nBEGIN\n 1 \"a\"\n 1 \"b\"\nEND\n", "t.rc:4: string id 1 is defined twice"},
        {"STRINGTABLE\nBEGIN\n 70000 \"a\"\nEND\n", "string id out of range"},
        {"STRINGTABLE\nBEGIN\n 1 2\nEND\n", "expected a string"},
        {"#include \"missing.h\"\n", "t.rc:1: cannot find the include file 'missing.h'"},
        {"#include \"t.rc\"\n", "#include nested too deeply"},
        {"#ifdef X\n", "#if without #endif"},
        {"#endif\n", "#endif without #if"},
        {"#if 1 +\n#endif\n", "expected a number"},
        {"#if 1 / 0\n#endif\n", "division by zero"},
        {"#frobnicate\n", "unknown directive #frobnicate"},
        {"#error stop here\n", "#error stop here"},
        {"/* never closed\n", "comment not closed"},
        {"1 VERSIONINFO\nFILEVERSION 1,2,3,4\nBEGIN\n BLOCK \"x\"\n BEGIN\n VALUE \"a\", 1, \"b\"\n END\nEND\n",
         "a VALUE cannot mix numbers and strings"},
        {"1 VERSIONINFO\nFILEVERSION 70000\nBEGIN\nEND\n", "version number out of range"},
        {"1 VERSIONINFO\nBEGIN\n VALUE \"a\" \"b\"\nEND\n", "expected BLOCK or END in VERSIONINFO"},
        {"IDD_MAIN DIALOG 0, 0, 10, 10\n", "resource names must be numbers; 'IDD_MAIN' is not defined"},
        {"1 MENU\nBEGIN\nEND\n", "resource type MENU is not supported yet"},
        {"1 DIALOG 0, 0, 10, 10\nSTYLE 0x40\nBEGIN\nEND\n", "t.rc:1: a dialog with the DS_SETFONT style needs a FONT statement"},
        {"1 DIALOG 0, 0, 10\nBEGIN\nEND\n", "expected ',' before the height"},
        {"1 DIALOG 0, 0, 10, 40000\nBEGIN\nEND\n", "a height out of range (-32768 to 32767)"},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n LTEXT \"a\", 1, 2, 3, 4\nEND\n", "t.rc:4: expected ',' before the height, found 'END'"},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n WIDGET \"a\", 1, 2, 3, 4, 5\nEND\n", "t.rc:3: expected a control statement or END, found 'WIDGET'"},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n LTEXT \"a\", 1, 2, 3, 4, 5\n", "dialog not closed with END"},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n CONTROL \"a\", 1, , 0, 2, 3, 4, 5\nEND\n", "expected a class name"},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n PUSHBUTTON \"a\", 1, 2, 3, 4, 5, NOT\nEND\n", "expected a style"},
        {"1 WIDGET\n", "unknown resource type 'WIDGET'"},
        {"1 RCDATA { 1, 2 }\n1 RCDATA { 3 }\n", "resource 1 of type 10 is defined twice"},
        {"@\n", "t.rc:1: unexpected character '@'"},
        {"STRINGTABLE { 99999999999 \"a\" }\n", "number too large for 32 bits"},
        {"STRINGTABLE { 12abc \"a\" }\n", "malformed number"},
        {"LANGUAGE 9\n", "LANGUAGE needs a language and a sublanguage"},
        {"#define F(x) x\nSTRINGTABLE { F(1) \"a\" }\n", "macros with parameters are not supported"},
        {"#pragma code_page(932)\n", "code page 932 is not supported"},
        {"#pragma code_page(65001)\nSTRINGTABLE { 1 \"\xC3\x28\" }\n", "invalid UTF-8 text"},
    };
    for (const auto& c : cases) {
        std::string got = Complaint("t.rc", c.text);
        EXPECT_NE(got.find(c.complaint), std::string::npos) << "input:\n" << c.text << "\ncomplaint: " << got;
    }
    const char withZero[] = "STRINGTABLE { 1 \"a\0b\" }\n";
    EXPECT_NE(Complaint("z.rc", std::string(withZero, sizeof withZero - 1)).find("zero byte"), std::string::npos);
    EXPECT_EQ(Complaint("empty.rc", ""), "");
    EXPECT_NE(Complaint("bom.rc", "\xFF\xFE" "1\0").find("UTF-16 input is not supported"), std::string::npos);
}

TEST_F(ResourceCompiler, MalformedMessageFiles) {
    struct {
        const char* text;
        const char* complaint;
    } cases[] = {
        {"MessageId=1\nLanguage=English\nnever ended\n", "t.mc:2: message text not ended by a line holding a single '.'"},
        {"MessageId=1\nLanguage=Klingon\nx\n.\n", "t.mc:2: unknown Language name 'Klingon'"},
        {"Language=English\nx\n.\n", "t.mc:1: Language= before the first MessageId="},
        {"MessageId=1\nLanguage=English\na\n.\nMessageId=1\nLanguage=English\nb\n.\n", "message id 1 is defined twice"},
        {"MessageId=1\nLanguage=English\na\n.\nLanguage=English\nb\n.\n", "has two texts for one language"},
        {"MessageId=zz\n", "t.mc:1: bad MessageId 'zz'"},
        {"Frobnicate=1\n", "t.mc:1: unknown keyword 'Frobnicate'"},
        {"just text\n", "t.mc:1: expected Keyword=value"},
        {"LanguageNames=(English=0x409\n", "name list not closed with ')'"},
        {"LanguageNames=(English)\n", "expected Name=number in the name list"},
        {"SeverityNames=(Bad=0x9)\n", "bad number for 'Bad'"},
        {"MessageId=0x10000\nSeverity=Error\n", "MessageId above 0xFFFF cannot take a severity or facility"},
    };
    for (const auto& c : cases) {
        std::string got = Complaint("t.mc", c.text);
        EXPECT_NE(got.find(c.complaint), std::string::npos) << "input:\n" << c.text << "\ncomplaint: " << got;
    }
}

TEST_F(ResourceCompiler, SeverityAndFacilityGoIntoTheIds) {
    std::string path = Write("ids.mc",
                             "FacilityNames=(Net=0x12)\n"
                             "MessageId=1\nSeverity=Error\nFacility=Net\nLanguage=English\nbad\n.\n"
                             "MessageId=\nLanguage=English\nworse\n.\n");
    std::vector<rc::Resource> r = rc::CompileMessageFile(path);
    ASSERT_EQ(r.size(), 1u);
    const std::vector<uint8_t>& d = r[0].data;
    ASSERT_GE(d.size(), 16u);
    auto dword = [&](size_t at) { return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 | uint32_t(d[at + 3]) << 24; };
    EXPECT_EQ(dword(0), 1u);            // one block
    EXPECT_EQ(dword(4), 0xC0120001u);   // low id
    EXPECT_EQ(dword(8), 0xC0120002u);   // high id: both messages keep the severity and facility
}

// Little-endian words, dwords and zero-terminated UTF-16 texts, as the dialog template formats lay them out.
struct Layout {
    std::vector<uint8_t> b;
    Layout& W(uint32_t v) { return b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)), *this; }
    Layout& D(uint32_t v) { return W(v & 0xFFFF), W(v >> 16); }
    Layout& T(const char* s) {
        for (; *s; ++s) W(uint8_t(*s));
        return W(0);
    }
    Layout& Pad() {
        while (b.size() % 4) b.push_back(0);
        return *this;
    }
};

std::vector<uint8_t> Only(const std::vector<rc::Resource>& r, uint32_t type, uint32_t id) {
    for (const rc::Resource& x : r)
        if (x.type == type && x.id == id) return x.data;
    ADD_FAILURE() << "no resource " << id << " of type " << type;
    return {};
}

TEST_F(ResourceCompiler, DialogTemplateLayout) {
    std::string path = Write("d.rc",
        "#include <windows.h>\n"
        "7 DIALOG DISCARDABLE 1, 2, 100, 60\n"
        "STYLE WS_VISIBLE | WS_SYSMENU | DS_CENTER\n"
        "CAPTION \"Hi\"\n"
        "FONT 8, \"MS Sans Serif\"\n"
        "BEGIN\n"
        "  DEFPUSHBUTTON \"OK\", IDOK, 29, 39, 50, 14\n"
        "  CTEXT \"Abc\", -1, 12, 4, 146, 8, NOT WS_GROUP | WS_DISABLED\n"
        "  CONTROL \"P\", 1000, \"msctls_progress32\", WS_BORDER, 6, 59, 159, 11\n"
        "  CONTROL \"\", 5, \"Button\", BS_AUTOCHECKBOX | NOT WS_VISIBLE, -3, 0, 10, 10, WS_EX_CLIENTEDGE\n"
        "  ICON 3, 6, 1, 1\n"
        "  EDITTEXT 9, 1, 2, 3, 4\n"
        "END\n");
    Layout e;
    e.D(0x10080800 | 0x00C00000 | 0x40).D(0).W(6).W(1).W(2).W(100).W(60);  // CAPTION and FONT add their bits
    e.W(0).W(0).T("Hi").W(8).T("MS Sans Serif");
    e.Pad().D(0x50010001).D(0).W(29).W(39).W(50).W(14).W(1).W(0xFFFF).W(0x80).T("OK").W(0);
    e.Pad().D(0x58000001).D(0).W(12).W(4).W(146).W(8).W(0xFFFF).W(0xFFFF).W(0x82).T("Abc").W(0);
    e.Pad().D(0x50800000).D(0).W(6).W(59).W(159).W(11).W(1000).T("msctls_progress32").T("P").W(0);
    e.Pad().D(0x40000003).D(0x200).W(0xFFFD).W(0).W(10).W(10).W(5).W(0xFFFF).W(0x80).T("").W(0);
    e.Pad().D(0x50000003).D(0).W(1).W(1).W(0).W(0).W(6).W(0xFFFF).W(0x82).W(0xFFFF).W(3).W(0);
    e.Pad().D(0x50810000).D(0).W(1).W(2).W(3).W(4).W(9).W(0xFFFF).W(0x81).T("").W(0);
    EXPECT_EQ(Only(rc::CompileScript(path, {}), 5, 7), e.b);
}

TEST_F(ResourceCompiler, DialogDefaultsAndExtendedLayout) {
    std::string path = Write("x.rc",
        "1 DIALOG 0, 0, 10, 20\nMENU 4\nCLASS \"Mine\"\nBEGIN\nEND\n"
        "2 DIALOGEX 0, 0, 10, 20, 77\nSTYLE 0x40\nEXSTYLE 0x8\nFONT 9, \"Tahoma\", 700, 1, 0\n"
        "BEGIN\n PUSHBUTTON \"Go\", 300, 1, 2, 3, 4, 0, 0x20000, 55\nEND\n"
        "3 DIALOGEX 0, 0, 1, 1\nFONT 8, \"A\"\nBEGIN\nEND\n");
    std::vector<rc::Resource> r = rc::CompileScript(path, {});
    Layout plain;  // WS_POPUP | WS_BORDER | WS_SYSMENU without STYLE; no font block without DS_SETFONT
    plain.D(0x80880000).D(0).W(0).W(0).W(0).W(10).W(20).W(0xFFFF).W(4).T("Mine").T("");
    EXPECT_EQ(Only(r, 5, 1), plain.b);
    Layout ex;
    ex.W(1).W(0xFFFF).D(77).D(8).D(0x40).W(1).W(0).W(0).W(10).W(20).W(0).W(0).T("");
    ex.W(9).W(700).W(0x0001).T("Tahoma");  // italic 1, character set 0
    ex.Pad().D(55).D(0x20000).D(0x50010000).W(1).W(2).W(3).W(4).D(300).W(0xFFFF).W(0x80).T("Go").W(0);
    EXPECT_EQ(Only(r, 5, 2), ex.b);
    Layout font;  // weight 0, not italic, DEFAULT_CHARSET when FONT says no more
    font.W(1).W(0xFFFF).D(0).D(0).D(0x80880040).W(0).W(0).W(0).W(1).W(1).W(0).W(0).T("").W(8).W(0).W(0x0100).T("A");
    EXPECT_EQ(Only(r, 5, 3), font.b);
}

// Damaged copies of a good script: each must compile or be refused, nothing else.
TEST_F(ResourceCompiler, DamagedInputNeverCrashes) {
    const std::string good =
        "#include <windows.h>\n#define ID 3\nSTRINGTABLE\nBEGIN\n ID, \"text \"\"q\"\" \\x41\"\nEND\n"
        "1 VERSIONINFO\nFILEVERSION 1,2\nFILEOS VOS_NT_WINDOWS32\nBEGIN\n BLOCK \"StringFileInfo\"\n BEGIN\n"
        "  BLOCK \"040904b0\"\n  BEGIN\n   VALUE \"A\", \"b\\0\"\n  END\n END\n BLOCK \"VarFileInfo\"\n BEGIN\n"
        "  VALUE \"Translation\", 0x409, 1200\n END\nEND\n";
    const std::string goodMc = "LanguageNames=(German=0x407:x)\nMessageId=1\nLanguage=English\na %1\n.\n"
                               "Language=German\nb\n.\nMessageId=\nLanguage=English\nc\n.\n";
    std::mt19937 random(1234);
    const char pool[] = "\"{}(),#\\\n.=L0x/*; BEGINEND\xff";
    for (int round = 0; round < 300; ++round) {
        for (const std::string* base : {&good, &goodMc}) {
            std::string text = *base;
            int edits = 1 + static_cast<int>(random() % 4);
            for (int e = 0; e < edits && !text.empty(); ++e) {
                size_t at = random() % text.size();
                switch (random() % 3) {
                case 0: text.erase(at, 1 + random() % 5); break;
                case 1: text.insert(at, 1, pool[random() % (sizeof pool - 1)]); break;
                default: text[at] = pool[random() % (sizeof pool - 1)];
                }
            }
            std::string path = Write(base == &good ? "f.rc" : "f.mc", text);
            try {
                if (base == &good) rc::CompileScript(path, {});
                else rc::CompileMessageFile(path);
                rc::NoteSource({}, path);
            } catch (const rc::Error&) {
            }
        }
    }
}

TEST_F(ResourceCompiler, ToolExitsNonzeroAndWritesNothing) {
    std::string input = Write("bad.rc", "STRINGTABLE\nBEGIN\n 1 \"a\"\n");
    std::string output = (dir_ / "bad.cpp").string();
    std::string command = std::string(WIN32_RC_PATH) + " -o " + output + " " + input + " 2>" + (dir_ / "err").string();
    int status = system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_FALSE(fs::exists(output));
    std::ifstream err(dir_ / "err");
    std::string line;
    std::getline(err, line);
    EXPECT_EQ(line, "win32_rc: " + input + ":3: STRINGTABLE not closed with END");  // the last line read

    status = system((std::string(WIN32_RC_PATH) + " 2>/dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);  // usage
}

}  // namespace
