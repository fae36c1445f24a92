// scripts/install --windows into a fresh drive table, then the installed
// uninstaller (with the scripted dialog clicking OK) removes it all.
#include "uninstaller_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

namespace fs = std::filesystem;

const char* const kShared = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char* const kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brevanto";
const char* const kLibrary = "C:\\Program Files\\Brevanto\\brevanto.dll";

class InstallTest : public UninstallerTest {
  protected:
    void SetUp() override {
        UninstallerTest::SetUp();
        Stage(PROBE_PATH);
        fs::create_directories(Native("Temp Files"));
        Save("TMP", "C:\\Temp Files");
    }
    // The build's modules, with `program` as unbrevanto (the scripted one by default).
    void Stage(const char* program) {
        stage_ = root_ / "stage";
        fs::remove_all(stage_);
        fs::create_directories(stage_);
        for (const auto& e : fs::directory_iterator(BIN_DIR))
            if (e.path().filename() != "unbrevanto") fs::create_symlink(e.path(), stage_ / e.path().filename());
        fs::create_symlink(program, stage_ / "unbrevanto");
    }
    int Shell(const std::string& command) {
        int status = system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Install(const std::string& options = "") {
        return Shell(std::string(INSTALL_SCRIPT) + " --windows --from '" + stage_.string() + "' " + options + " >/dev/null");
    }
    DWORD Count() {
        HKEY k;
        DWORD value = 0, size = sizeof value;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kShared, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return 0;
        if (RegQueryValueExA(k, kLibrary, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) value = 0;
        RegCloseKey(k);
        return value;
    }
    fs::path stage_;
};

TEST_F(InstallTest, UninstallerClickedOkLeavesNothing) {
    ASSERT_EQ(Install(), 0);
    fs::path folder = Native("Program Files\\Brevanto");
    EXPECT_TRUE(fs::exists(folder / "brevanto.dll"));
    EXPECT_TRUE(fs::exists(Native("Windows\\System32\\kernel32.dll")));
    EXPECT_EQ(Count(), 1u);
    EXPECT_TRUE(HasKey(kUninstall));

    std::string run = "UNBREVANTO_SCRIPT=ok '" + (folder / "unbrevanto").string() + "'";
    ASSERT_EQ(Shell(run), 0);
    fs::path batch = Native("Temp Files\\brevanto.bat");
    for (int i = 0; i < 3000 && (fs::exists(batch) || fs::exists(folder)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(fs::exists(batch));
    EXPECT_FALSE(HasValue(kShared, kLibrary));
    EXPECT_FALSE(HasKey(kUninstall));
    EXPECT_TRUE(fs::exists(Native("Program Files")));
}

TEST_F(InstallTest, ReinstallCountsAndUninstallRemovesWhatItPut) {
    ASSERT_EQ(Install(), 0);
    ASSERT_EQ(Install(), 0);
    EXPECT_EQ(Count(), 2u);
    fs::path system = Native("Windows\\System32");
    Write("Windows\\System32\\theirs.dll", "not ours");
    ASSERT_EQ(Install("--uninstall"), 0);
    EXPECT_FALSE(fs::exists(Native("Program Files\\Brevanto")));
    EXPECT_FALSE(HasKey(kUninstall));
    EXPECT_EQ(Count(), 0u);
    EXPECT_FALSE(fs::exists(system / "kernel32.dll"));
    EXPECT_TRUE(fs::exists(system / "theirs.dll"));

    // Another folder on a drive the table does not have yet.
    ASSERT_EQ(Install("--folder 'E:\\Tools\\Lib'"), 0);
    std::ifstream table(root_ / "user" / "drives");
    std::stringstream s;
    s << table.rdbuf();
    EXPECT_NE(s.str().find("E=" + (root_ / "user" / "drive_e").string() + "\n"), std::string::npos) << s.str();
    EXPECT_TRUE(fs::exists(root_ / "user" / "drive_e" / "Tools" / "Lib" / "unbrevanto"));
    EXPECT_TRUE(HasValue(kShared, "E:\\Tools\\Lib\\brevanto.dll"));

    EXPECT_EQ(Install("--folder 'C:\\a\\..\\b'"), 2);
    EXPECT_EQ(Install("--folder 'relative\\x'"), 2);
}

#ifdef UNBREVANTO_PATH
// The real program, installed, where there is no display: its start-up box on
// standard error, exit code 0, and everything still installed.
TEST_F(InstallTest, RealProgramWithoutADisplayRemovesNothing) {
    Stage(UNBREVANTO_PATH);
    ASSERT_EQ(Install(), 0);
    fs::path folder = Native("Program Files\\Brevanto");
    std::string err = (root_ / "stderr").string();
    ASSERT_EQ(Shell("env -u DISPLAY -u WAYLAND_DISPLAY '" + (folder / "unbrevanto").string() + "' </dev/null 2>'" + err + "'"), 0);
    std::ifstream in(err);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_NE(s.str().find("Error during uninstall:"), std::string::npos) << s.str();
    EXPECT_NE(s.str().find("Can't create window!"), std::string::npos) << s.str();
    EXPECT_TRUE(fs::exists(folder / "brevanto.dll"));
    EXPECT_TRUE(fs::exists(folder / "unbrevanto"));
    EXPECT_EQ(Count(), 1u);
    EXPECT_TRUE(HasKey(kUninstall));
    EXPECT_TRUE(fs::is_empty(Native("Temp Files")));
}
#endif

}  // namespace
