// The command interpreter: each command of a batch, CR LF and LF lines,
// quoted paths, and the wait loop a batch runs while a program is running.
#include "drive_fixture.h"

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

class Batch : public DriveTest {
  protected:
    // Runs `script` as C:\test.bat; standard error follows standard output.
    std::string Run(const std::string& script, int* status = nullptr) {
        Write("test.bat", script);
        std::string out;
        std::string command = std::string("cd ") + drive_.string() + " && " + CMD_PATH + " /c \"C:\\test.bat\" one \"two 2\" 2>&1";
        FILE* p = popen(command.c_str(), "r");
        char buffer[512];
        while (p && fgets(buffer, sizeof buffer, p)) out += buffer;
        int s = p ? pclose(p) : -1;
        if (status) *status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
        return out;
    }
};

TEST_F(Batch, EchoRemAndVariables) {
    Save("BATCH_TEST_NAME", "value");
    EXPECT_EQ(Run("@echo off\r\nrem nothing to see\r\necho hello  world\r\necho.\r\necho %1 %2 [%3] %~dp0 %~nx0\r\n"
                  "echo %BATCH_TEST_NAME% 100%% [%NOT_SET_ANYWHERE%]\r\necho\r\n"),
              "hello  world\n\none \"two 2\" [] C:\\ test.bat\nvalue 100% []\nECHO is off.\n");
    // Echo on by default: each command after the prompt; LF-only lines work too.
    EXPECT_EQ(Run("echo hi\n"), "\nC:\\>echo hi\nhi\n");
}

TEST_F(Batch, LabelsGotoAndIf) {
    Write("there.txt", "x");
    Write("Some Folder\\file.txt", "x");
    EXPECT_EQ(Run("@echo off\r\ngoto :skip\r\necho not shown\r\n:skip\r\n"
                  "if exist \"C:\\there.txt\" echo exists\r\n"
                  "if not exist C:\\missing.txt echo missing\r\n"
                  "if exist \"C:\\Some Folder\\*.txt\" echo wildcard\r\n"
                  "if \"%1\"==\"one\" echo equal\r\n"
                  "if /i \"ONE\"==\"%1\" echo equal without case\r\n"
                  "if not a==b echo unequal\r\n"
                  "goto end\r\n:loop\r\necho looped\r\ngoto :eof\r\n:end\r\ngoto loop\r\necho never\r\n"),
              "exists\nmissing\nwildcard\nequal\nequal without case\nunequal\nlooped\n");
    int status = 0;
    EXPECT_EQ(Run("@echo off\r\ngoto nowhere\r\necho never\r\n", &status),
              "The system cannot find the batch label specified - nowhere\n");
    EXPECT_EQ(status, 1);
}

TEST_F(Batch, DelAndItsMessages) {
    Write("a.tmp", "x");
    Write("b.tmp", "x");
    Write("keep.txt", "x");
    Write("ro.txt", "x");
    std::filesystem::permissions(Native("ro.txt"), std::filesystem::perms::owner_read);
    Write("ro2.txt", "x");
    std::filesystem::permissions(Native("ro2.txt"), std::filesystem::perms::owner_read);
    EXPECT_EQ(Run("@echo off\r\ndel C:\\*.tmp\r\ndel \"C:\\missing.dll\"\r\ndel C:\\ro.txt\r\ndel /f C:\\ro2.txt\r\n"),
              "Could Not Find C:\\missing.dll\nC:\\ro.txt\nAccess is denied.\n");
    EXPECT_FALSE(std::filesystem::exists(Native("a.tmp")));
    EXPECT_FALSE(std::filesystem::exists(Native("b.tmp")));
    EXPECT_TRUE(std::filesystem::exists(Native("keep.txt")));
    EXPECT_TRUE(std::filesystem::exists(Native("ro.txt")));
    EXPECT_FALSE(std::filesystem::exists(Native("ro2.txt")));
}

TEST_F(Batch, RmdirWithoutSwitchesRefusesAFolderThatIsNotEmpty) {
    Write("Full Folder\\file.txt", "x");
    std::filesystem::create_directories(Native("Empty Folder"));
    Write("Tree\\a\\b.txt", "x");
    EXPECT_EQ(Run("@echo off\r\nrmdir \"C:\\Full Folder\"\r\nrmdir \"C:\\Empty Folder\"\r\nrd C:\\nothing\r\n"
                  "rmdir \"C:\"\r\nrd /s /q C:\\Tree\r\nmd \"C:\\new\\deeper\"\r\nif errorlevel 1 echo failed\r\n"),
              "The directory is not empty.\nThe system cannot find the file specified.\nAccess is denied.\n");
    EXPECT_TRUE(std::filesystem::exists(Native("Full Folder\\file.txt")));
    EXPECT_FALSE(std::filesystem::exists(Native("Empty Folder")));
    EXPECT_FALSE(std::filesystem::exists(Native("Tree")));
    EXPECT_TRUE(std::filesystem::is_directory(Native("new\\deeper")));
}

TEST_F(Batch, ProgramsRunAndLeaveTheirErrorLevel) {
    int status = 0;
    EXPECT_EQ(Run("@echo off\r\n/bin/sh -c \"exit 3\"\r\nif errorlevel 3 echo three\r\nif errorlevel 4 echo four\r\n"
                  "nosuchprogram\r\nexit /b 5\r\necho never\r\n",
                  &status),
              "three\n'nosuchprogram' is not recognized as an internal or external command,\n"
              "operable program or batch file.\n");
    EXPECT_EQ(status, 5);
}

// The loop a self-deleting batch runs: it waits while the program runs, then removes it, its folder and itself.
TEST_F(Batch, TheWaitLoopOutlastsTheRunningProgram) {
    std::filesystem::create_directories(Native("Tools\\Lib"));
    std::filesystem::copy_file("/bin/sleep", Native("Tools\\Lib\\unbrevanto"));
    std::string program = Native("Tools\\Lib\\unbrevanto").string();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(program.c_str(), "unbrevanto", "1", nullptr);
        _exit(127);
    }
    for (int i = 0; i < 400; ++i) {
        std::error_code ignored;
        if (std::filesystem::read_symlink("/proc/" + std::to_string(child) + "/exe", ignored).filename() == "unbrevanto")
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    auto start = std::chrono::steady_clock::now();
    std::thread reaper([child] { waitpid(child, nullptr, 0); });
    std::string out = Run(":Repeat\r\ndel \"C:\\Tools\\Lib\\unbrevanto\"\r\n"
                          "if exist \"C:\\Tools\\Lib\\unbrevanto\" goto Repeat\r\n"
                          "rmdir \"C:\\Tools\\Lib\"\r\ndel \"C:\\test.bat\"\r\n");
    reaper.join();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_NE(out.find("C:\\Tools\\Lib\\unbrevanto\nAccess is denied.\n"), std::string::npos);
    EXPECT_NE(out.find("C:\\>rmdir \"C:\\Tools\\Lib\""), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Native("Tools\\Lib")));
    EXPECT_TRUE(std::filesystem::exists(Native("Tools")));
    EXPECT_FALSE(std::filesystem::exists(Native("test.bat")));
}

}  // namespace
