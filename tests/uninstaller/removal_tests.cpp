// The whole program with a scripted dialog outcome, run as its own process
// from a folder on drive C: (or the root of D:). Its batch file runs for real
// in cmd, waits for the program to end, and removes it, its folder and itself.
#include "uninstaller_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const char* const kShared = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char* const kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brevanto";

class RemovalTest : public UninstallerTest {
  protected:
    void SetUp() override {
        UninstallerTest::SetUp();
        fs::create_directories(Native("Temp Files"));
        Save("TMP", "C:\\Temp Files");  // blanks: the batch's command line goes unquoted
        unsetenv("ComSpec");
    }
    // Puts the program at `below` (under C:, or a whole path on another drive) and runs it.
    int Run(const fs::path& program, const char* script) {
        fs::create_directories(program.parent_path());
        fs::copy_file(PROBE_PATH, program, fs::copy_options::overwrite_existing);
        std::string log = (root_ / "calls.log").string();
        fs::remove(log);
        fs::remove(root_ / "batch.seen");
        pid_t pid = fork();
        if (pid == 0) {
            setenv("UNBREVANTO_SCRIPT", script, 1);
            setenv("UNBREVANTO_LOG", log.c_str(), 1);
            setenv("UNBREVANTO_BATCH_COPY", (root_ / "batch.seen").c_str(), 1);
            chdir(root_.c_str());
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    Lines Log() {
        Lines out;
        std::ifstream in(root_ / "calls.log");
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    // The batch file is the last thing the batch removes.
    std::string Batch() {
        std::ifstream in(root_ / "batch.seen", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool BatchFinishes() {
        fs::path batch = Native("Temp Files\\brevanto.bat");
        for (int i = 0; i < 3000 && fs::exists(batch); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return !fs::exists(batch);
    }
    void Install(const std::string& folder) {
        Write(folder + "\\brevanto.dll", "library");
        std::string windowsPath = "C:\\" + folder + "\\brevanto.dll";
        SetValue(kShared, windowsPath.c_str(), 1);
        SetValue(kShared, "C:\\Other\\kept.dll", 2);
        SetText(kUninstall, "DisplayName", "Brevanto");
    }
};

TEST_F(RemovalTest, OkRemovesEverythingFromToolsLib) {
    Install("Tools\\Lib");
    ASSERT_EQ(Run(Native("Tools\\Lib\\unbrevanto"), "ok"), 0);
    EXPECT_EQ(Batch(), ":Repeat\r\n"
                       "del \"C:\\Tools\\Lib\\unbrevanto\"\r\n"
                       "if exist \"C:\\Tools\\Lib\\unbrevanto\" goto Repeat\r\n"
                       "rmdir \"C:\\Tools\\Lib\"\r\n"
                       "del \"C:\\Temp Files\\brevanto.bat\"\r\n");
    ASSERT_TRUE(BatchFinishes());
    EXPECT_FALSE(fs::exists(Native("Tools\\Lib")));
    EXPECT_TRUE(fs::exists(Native("Tools")));
    EXPECT_FALSE(HasValue(kShared, "C:\\Tools\\Lib\\brevanto.dll"));
    EXPECT_TRUE(HasValue(kShared, "C:\\Other\\kept.dll"));
    EXPECT_FALSE(HasKey(kUninstall));
    EXPECT_EQ(Log(), (Lines{
        "InitCommonControls()",
        "CreateDialogParamA(program, #102, NULL, 0)",
        "LoadIconA(program, #101)",
        "GetSystemMenu(dialog, 0)",
        "DeleteMenu(system, 61440, 0)",
        "DeleteMenu(system, 61488, 0)",
        "SendDlgItemMessageA(dialog, 1000, 1025, 0, 131072)",
        "SendDlgItemMessageA(dialog, 1000, 1028, 1, 0)",
        "SetWindowTextA(dialog, \"Uninstall Corvalen Add-on Library\")",
        "ShowWindow(dialog, 10)",
        "UpdateWindow(dialog)",
        "DispatchMessageA(273, 1)",
        "SendDlgItemMessageA(dialog, 1000, 1029, 0, 0)",
        "SendDlgItemMessageA(dialog, 1000, 1029, 0, 0)",
        "DestroyWindow(dialog)",
        "PostQuitMessage(0)",
        "GetMessageA() = 0",
    }));
}

TEST_F(RemovalTest, ReadOnlyLibraryGetsTheBoxAndTheRestGoesOn) {
    Install("Tools\\Lib");
    chmod(Native("Tools\\Lib\\brevanto.dll").c_str(), 0444);
    ASSERT_EQ(Run(Native("Tools\\Lib\\unbrevanto"), "ok"), 0);
    ASSERT_TRUE(BatchFinishes());
    Lines log = Log();
    ASSERT_GE(log.size(), 13u);
    EXPECT_EQ(log[12], "MessageBoxA(dialog, \"C:\\Tools\\Lib\\brevanto.dll\", \"Can't delete the file named:\", 48)");
    EXPECT_FALSE(HasValue(kShared, "C:\\Tools\\Lib\\brevanto.dll"));
    EXPECT_FALSE(HasKey(kUninstall));
    // The program is gone; rmdir without switches leaves the folder that still holds the library.
    EXPECT_FALSE(fs::exists(Native("Tools\\Lib\\unbrevanto")));
    EXPECT_TRUE(fs::exists(Native("Tools\\Lib\\brevanto.dll")));
}

TEST_F(RemovalTest, LibraryAlreadyGoneAtTheRootOfADrive) {
    fs::path d = root_ / "d";
    fs::create_directories(d);
    std::ofstream(root_ / "user" / "drives", std::ios::app) << "D=" << d.string() << "\n";
    SetValue(kShared, "D:\\brevanto.dll", 1);
    ASSERT_EQ(Run(d / "unbrevanto", "ok"), 0);
    EXPECT_NE(Batch().find("\r\nrmdir \"D:\"\r\n"), std::string::npos) << Batch();
    ASSERT_TRUE(BatchFinishes());
    for (const std::string& line : Log()) EXPECT_EQ(line.find("MessageBoxA"), std::string::npos) << line;
    EXPECT_FALSE(HasValue(kShared, "D:\\brevanto.dll"));
    // rmdir "D:" fails inside the batch; the drive's folder stays and the batch still ends.
    EXPECT_FALSE(fs::exists(d / "unbrevanto"));
    EXPECT_TRUE(fs::exists(d));
}

// GetTempPathA writes nothing into a buffer too small and gives the size it
// needs: the program then writes no batch (and nothing past its buffer, which
// the sanitized build would catch); the library and keys still go.
TEST_F(RemovalTest, TemporaryFolderTooLongForTheBuffer) {
    Install("Tools\\Lib");
    std::string deep = std::string(130, 'a') + "\\" + std::string(130, 'b');
    fs::create_directories(Native(deep));
    Save("TMP", "C:\\" + deep);
    ASSERT_EQ(Run(Native("Tools\\Lib\\unbrevanto"), "ok"), 0);
    EXPECT_TRUE(fs::is_empty(Native(deep)));
    EXPECT_FALSE(fs::exists(Native("Tools\\Lib\\brevanto.dll")));
    EXPECT_FALSE(HasKey(kUninstall));
    EXPECT_TRUE(fs::exists(Native("Tools\\Lib\\unbrevanto")));
    Lines log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "SendDlgItemMessageA(dialog, 1000, 1029, 0, 0)"), 2);
}

TEST_F(RemovalTest, CancelCloseAndNotificationsTouchNothing) {
    for (const char* script : {"cancel", "close", "ok-notify", "nodialog"}) {
        SCOPED_TRACE(script);
        Install("Tools\\Lib");
        ASSERT_EQ(Run(Native("Tools\\Lib\\unbrevanto"), script), 0);
        EXPECT_TRUE(fs::exists(Native("Tools\\Lib\\brevanto.dll")));
        EXPECT_TRUE(fs::exists(Native("Tools\\Lib\\unbrevanto")));
        EXPECT_TRUE(HasValue(kShared, "C:\\Tools\\Lib\\brevanto.dll"));
        EXPECT_TRUE(HasKey(kUninstall));
        EXPECT_TRUE(fs::is_empty(Native("Temp Files")));
        for (const std::string& line : Log()) EXPECT_EQ(line.find("1029"), std::string::npos) << line;
    }
    EXPECT_EQ(Log(), (Lines{"InitCommonControls()", "CreateDialogParamA(program, #102, NULL, 0)",
                            "MessageBoxA(NULL, \"Can't create window!\", \"Error during uninstall:\", 48)"}));
}

}  // namespace
