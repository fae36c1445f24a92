// CreateProcessA and the priority functions: suspended starts, priority
// classes as nice values, hidden windows, the current folder, and batch files.
#include "drive_fixture.h"

#include <sys/resource.h>

#include <chrono>
#include <thread>

namespace {

class Processes : public DriveTest {
  protected:
    DWORD Start(std::string line, DWORD flags, PROCESS_INFORMATION& info, const char* folder = nullptr,
                bool hidden = false) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (hidden) startup.dwFlags = STARTF_USESHOWWINDOW, startup.wShowWindow = SW_HIDE;
        info = {};
        SetLastError(0xdeadbeef);
        return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, folder, &startup, &info)
                   ? 0
                   : GetLastError();
    }
    DWORD Finish(PROCESS_INFORMATION& info) {
        EXPECT_EQ(WaitForSingleObject(info.hProcess, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD code = 0xdeadbeef;
        EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        return code;
    }
    std::string Out() const { return (drive_ / "out").string(); }
};

TEST_F(Processes, ASuspendedProcessRunsOnlyWhenResumed) {
    PROCESS_INFORMATION info;
    ASSERT_EQ(Start("/bin/sh -c \"echo ran > " + Out() + "\"", CREATE_SUSPENDED | IDLE_PRIORITY_CLASS, info), 0u);
    EXPECT_NE(info.dwProcessId, 0u);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(GetPriorityClass(info.hProcess), static_cast<DWORD>(IDLE_PRIORITY_CLASS));
    EXPECT_EQ(getpriority(PRIO_PROCESS, info.dwProcessId), 10);  // an idle class's normal thread: level 4
    EXPECT_TRUE(SetThreadPriority(info.hThread, THREAD_PRIORITY_IDLE));
    EXPECT_EQ(GetThreadPriority(info.hThread), THREAD_PRIORITY_IDLE);
    EXPECT_EQ(getpriority(PRIO_PROCESS, info.dwProcessId), 19);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(std::filesystem::exists(Out()));
    EXPECT_EQ(ResumeThread(info.hThread), 1u);
    EXPECT_EQ(ResumeThread(info.hThread), 0u);
    EXPECT_EQ(Finish(info), 0u);
    EXPECT_EQ(Read("out"), "ran\n");
}

TEST_F(Processes, ASuspendedProcessWhoseThreadHandleClosesEnds) {
    PROCESS_INFORMATION info;
    ASSERT_EQ(Start("/bin/sh -c \"echo ran > " + Out() + "\"", CREATE_SUSPENDED, info), 0u);
    CloseHandle(info.hThread);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(info.hProcess);
    EXPECT_FALSE(std::filesystem::exists(Out()));
}

TEST_F(Processes, HiddenProcessesGetNoConsoleAndBackslashIsTheTopOfTheCurrentDrive) {
    PROCESS_INFORMATION info;
    std::filesystem::create_directories(drive_ / "sub");
    std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(drive_ / "sub");
    DWORD err = Start("/bin/sh -c \"pwd > " + Out() + "; readlink /proc/self/fd/2 >> " + Out() + "\"", 0, info, "\\",
                      true);
    std::filesystem::current_path(here);
    ASSERT_EQ(err, 0u);
    EXPECT_EQ(Finish(info), 0u);
    EXPECT_EQ(Read("out"), drive_.string() + "\n/dev/null\n");
}

TEST_F(Processes, ExitCodesAndFailures) {
    PROCESS_INFORMATION info;
    ASSERT_EQ(Start("/bin/sh -c \"exit 7\"", 0, info), 0u);
    EXPECT_EQ(Finish(info), 7u);
    Write("notes.txt", "not a program");
    struct Case {
        std::string line;
        DWORD flags;
        const char* folder;
        DWORD error;
    } cases[] = {
        {"C:\\missing.exe", 0, nullptr, ERROR_FILE_NOT_FOUND},
        {"C:\\notes.txt", 0, nullptr, ERROR_BAD_EXE_FORMAT},
        {"/bin/true", 0, "C:\\nowhere", ERROR_DIRECTORY},
        {"/bin/true", DEBUG_PROCESS, nullptr, ERROR_CALL_NOT_IMPLEMENTED},
        {"/bin/true", IDLE_PRIORITY_CLASS | HIGH_PRIORITY_CLASS, nullptr, ERROR_INVALID_PARAMETER},
        {"", 0, nullptr, ERROR_PATH_NOT_FOUND},
    };
    for (Case& c : cases) EXPECT_EQ(Start(c.line, c.flags, info, c.folder), c.error) << c.line;
}

// The batch's own path, unquoted, with a blank in its folder: the shortest run that names a file wins.
TEST_F(Processes, AnUnquotedBatchPathWithBlanksRunsInTheCommandInterpreter) {
    Write("Temp Dir\\brevanto.bat", "@echo off\r\nmkdir \"C:\\made by batch\"\r\ndel \"C:\\Temp Dir\\brevanto.bat\"\r\n");
    Write("Temp", "a file named like the folder's first word, not a program");
    PROCESS_INFORMATION info;
    ASSERT_EQ(Start("C:\\Temp Dir\\brevanto.bat", CREATE_SUSPENDED | IDLE_PRIORITY_CLASS, info, "\\", true), 0u);
    EXPECT_EQ(ResumeThread(info.hThread), 1u);
    EXPECT_EQ(Finish(info), 0u);
    EXPECT_TRUE(std::filesystem::is_directory(Native("made by batch")));
    EXPECT_FALSE(std::filesystem::exists(Native("Temp Dir\\brevanto.bat")));
}

TEST_F(Processes, PrioritiesOfTheCurrentProcessAndThread) {
    ASSERT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL));
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_TRUE(SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS));
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    if (geteuid() == 0) {
        EXPECT_EQ(getpriority(PRIO_PROCESS, 0), -6);  // level 15; only root may go below 0
    }
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetThreadPriority(GetCurrentThread(), 9));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(SetPriorityClass(GetCurrentProcess(), 0x1234));
    EXPECT_FALSE(SetThreadPriority(reinterpret_cast<HANDLE>(0x7777), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(ResumeThread(reinterpret_cast<HANDLE>(0x7777)), static_cast<DWORD>(-1));
    EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL));
    EXPECT_TRUE(SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), 0);
    EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
}

}  // namespace
