// The uninstaller as a user meets it: installed with scripts/install
// --windows into a private per-user folder, started on a private Xvfb, its
// dialog checked on a screenshot against the layout of dialog 102, then a
// real click on OK (everything goes) or on Cancel (nothing goes).
#include "xvfb.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace {

const Pixel kFace{192, 192, 192};
const Pixel kBlack{0, 0, 0};
const Pixel kNavy{0, 0, 128};
const Pixel kWhite{255, 255, 255};

// Dialog 102 in pixels: MS Sans Serif 8 has base units of 6 x 13, each value converted on its own.
int X(int units) { return (units * 6 + 2) / 4; }
int Y(int units) { return (units * 13 + 4) / 8; }
struct Control {
    int x, y, cx, cy;
};
const Control kOk{29, 39, 50, 14}, kCancel{89, 39, 50, 14}, kBar{6, 59, 159, 11};
const Control kLines[] = {{12, 4, 146, 8}, {4, 15, 161, 8}, {11, 25, 146, 8}};
const char* kTitle = "Uninstall Corvalen Add-on Library";
const int kFrame = 3, kCaption = 19;

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a command and gives its standard output.
std::string Output(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buffer[256];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
    return out;
}

class Uninstaller : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/unbrevanto_test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        user_ = root_ + "/user";
        temp_ = root_ + "/temp";
        ASSERT_EQ(mkdir(user_.c_str(), 0700), 0);
        ASSERT_EQ(mkdir(temp_.c_str(), 0700), 0);
        ASSERT_EQ(mkdir((root_ + "/c").c_str(), 0700), 0);
        std::ofstream(user_ + "/drives") << "C=" << root_ << "/c\n";
        setenv("PLATFORM_USER_DIR", user_.c_str(), 1);
        setenv("TMP", temp_.c_str(), 1);
        setenv("PLATFORM_UI_LOG", (root_ + "/ui.log").c_str(), 1);
        folder_ = root_ + "/c/Program Files/Brevanto";
        system_ = root_ + "/c/Windows/System32";
        ASSERT_TRUE(server_.Start());
    }

    void TearDown() override {
        server_.Stop();
        ::Run({"rm", "-rf", root_});
    }

    void Install() {
        ASSERT_EQ(::Run({INSTALL_SCRIPT, "--windows", "--from", BIN_DIR}), 0);
        ASSERT_TRUE(Exists(folder_ + "/brevanto.dll"));
        ASSERT_TRUE(Exists(folder_ + "/unbrevanto"));
        ASSERT_TRUE(HasSharedValue());
        ASSERT_TRUE(HasUninstallKey());
    }

    bool Reg(const std::vector<std::string>& args) {
        std::vector<std::string> argv{system_ + "/reg"};
        argv.insert(argv.end(), args.begin(), args.end());
        return ::Run(argv) == 0;
    }
    bool HasSharedValue() {
        return Reg({"query", "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", "/v",
                    "C:\\Program Files\\Brevanto\\brevanto.dll"});
    }
    bool HasUninstallKey() { return Reg({"query", "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brevanto"}); }

    // Starts the installed program and waits for its dialog to be drawn; its window's place on the screen.
    bool Start(int& left, int& top, Image& screen) {
        program_ = Spawn({folder_ + "/unbrevanto"});
        if (program_ < 0) return false;
        std::string id = Output("xdotool search --sync --name '" + std::string(kTitle) + "' 2>/dev/null | head -1");
        if (id.empty()) return false;
        // Drawn when the caption and the default button's frame are on the screen.
        for (int attempt = 0; attempt < 300; ++attempt) {
            std::string geometry = Output("xdotool getwindowgeometry --shell " + id);
            size_t x = geometry.find("X="), y = geometry.find("Y=");
            if (x == std::string::npos || y == std::string::npos) return false;
            left = atoi(geometry.c_str() + x + 2);
            top = atoi(geometry.c_str() + y + 2);
            if (Screenshot(screen, root_) && left >= 0 && top >= 0 && left + 100 < screen.width &&
                screen.At(left + kFrame + 30, top + kFrame + 1) == kNavy &&
                screen.At(ClientX(left) + X(kOk.x), ClientY(top) + Y(kOk.y) + 5) == kBlack)
                return true;
            usleep(50000);
        }
        return false;
    }

    int ClientX(int left) const { return left + kFrame; }
    int ClientY(int top) const { return top + kFrame + kCaption; }

    void Click(int x, int y) {
        ASSERT_EQ(::Run({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"}), 0);
    }

    // The program ends with 0 on every path.
    void Ended() { EXPECT_EQ(WaitFor(program_), 0); }

    // The batch, running at idle priority after the program, is done when its own file is gone.
    void BatchDone() {
        for (int attempt = 0; attempt < 600 && (Exists(temp_ + "/brevanto.bat") || Exists(folder_)); ++attempt)
            usleep(100000);
    }

    Xvfb server_;
    std::string root_, user_, temp_, folder_, system_;
    pid_t program_ = -1;
};

}  // namespace

TEST_F(Uninstaller, OkRemovesEverythingTheInstallPutThere) {
    Install();
    int left = 0, top = 0;
    Image screen;
    ASSERT_TRUE(Start(left, top, screen)) << "the dialog did not appear";
    int cx = ClientX(left), cy = ClientY(top);

    // The window: 174 x 78 units inside its frame, in the middle of the screen.
    int width = X(174) + 2 * kFrame, height = Y(78) + 2 * kFrame + kCaption;
    EXPECT_NEAR(left, (screen.width - width) / 2, 1);
    EXPECT_NEAR(top, (screen.height - height) / 2, 1);
    // On the black screen the frame's outer dark line at the right and bottom does not show.
    Bounds window = Differing(screen, 0, 0, screen.width, screen.height, Pixel{0, 0, 0});
    EXPECT_EQ(window.left, left);
    EXPECT_EQ(window.top, top);
    EXPECT_EQ(window.right, left + width - 1);
    EXPECT_EQ(window.bottom, top + height - 1);
    // The buttons and the bordered bar stand exactly where the template puts them.
    for (Control c : {kOk, kCancel, kBar}) {
        int x = cx + X(c.x), y = cy + Y(c.y), w = X(c.cx), h = Y(c.cy);
        Bounds b = Differing(screen, x - 4, y - 4, x + w + 4, y + h + 4, kFace);
        EXPECT_EQ(b.left, x) << c.x;
        EXPECT_EQ(b.top, y) << c.x;
        EXPECT_EQ(b.right, x + w) << c.x;
        EXPECT_EQ(b.bottom, y + h) << c.x;
    }
    EXPECT_EQ(screen.At(cx + X(kOk.x), cy + Y(kOk.y) + 5), kBlack) << "OK is the default button";
    EXPECT_EQ(screen.At(cx + X(kCancel.x), cy + Y(kCancel.y) + 5), kWhite);
    // The three lines, centred in their rectangles and shown whole.
    for (Control c : kLines) {
        int x = cx + X(c.x), y = cy + Y(c.y), w = X(c.cx), h = Y(c.cy);
        Bounds text = Differing(screen, x, y, x + w, y + h, kFace);
        ASSERT_FALSE(text.Empty()) << c.y;
        EXPECT_NEAR(text.left - x, x + w - text.right, 2) << c.y;
    }
    // The bar is empty before OK.
    EXPECT_EQ(screen.At(cx + X(kBar.x) + 3, cy + Y(kBar.y) + Y(kBar.cy) / 2), kFace);
    // The picture for the README: the dialog alone.
    std::string cut = "pnmcut -left " + std::to_string(left) + " -top " + std::to_string(top) + " -width " +
                      std::to_string(width) + " -height " + std::to_string(height) + " '" + root_ +
                      "/screen.ppm' | pnmtopng > '" + SCREENSHOT + "'";
    EXPECT_EQ(system(cut.c_str()), 0);

    Click(cx + X(kOk.x) + X(kOk.cx) / 2, cy + Y(kOk.y) + Y(kOk.cy) / 2);
    Ended();
    BatchDone();

    // The bar stood full before the window went.
    std::string log = Read(root_ + "/ui.log");
    EXPECT_NE(log.find("bar 1000 1 of 0..2"), std::string::npos) << log;
    EXPECT_NE(log.find("bar 1000 2 of 0..2"), std::string::npos) << log;
    EXPECT_LT(log.find("bar 1000 2 of 0..2"), log.rfind("destroyed")) << log;
    EXPECT_EQ(log.find("messagebox"), std::string::npos) << log;
    // Nothing of the installation is left: library, value, key, program, folder, batch.
    EXPECT_FALSE(Exists(folder_ + "/brevanto.dll"));
    EXPECT_FALSE(HasSharedValue());
    EXPECT_FALSE(HasUninstallKey());
    EXPECT_FALSE(Exists(folder_ + "/unbrevanto"));
    EXPECT_FALSE(Exists(folder_));
    EXPECT_FALSE(Exists(temp_ + "/brevanto.bat"));
    EXPECT_TRUE(Exists(root_ + "/c/Program Files")) << "only the program's own folder goes";
}

TEST_F(Uninstaller, CancelRemovesNothing) {
    Install();
    int left = 0, top = 0;
    Image screen;
    ASSERT_TRUE(Start(left, top, screen)) << "the dialog did not appear";
    Click(ClientX(left) + X(kCancel.x) + X(kCancel.cx) / 2, ClientY(top) + Y(kCancel.y) + Y(kCancel.cy) / 2);
    Ended();
    EXPECT_TRUE(Exists(folder_ + "/brevanto.dll"));
    EXPECT_TRUE(Exists(folder_ + "/unbrevanto"));
    EXPECT_TRUE(HasSharedValue());
    EXPECT_TRUE(HasUninstallKey());
    EXPECT_FALSE(Exists(temp_ + "/brevanto.bat"));
    EXPECT_EQ(Read(root_ + "/ui.log").find("bar 1000 1"), std::string::npos);
}
