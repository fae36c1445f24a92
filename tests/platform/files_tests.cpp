// Files and folders on Windows paths, conformance style.
#include "drive_fixture.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

namespace {

class Files : public DriveTest {
  protected:
    HANDLE Open(const char* name, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING) {
        return CreateFileA(name, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    void ReadOnly(const std::string& below) {
        std::filesystem::permissions(Native(below), std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    }
};

TEST_F(Files, CreateDispositionsAndTheirLastErrors) {
    SetLastError(0xdeadbeef);
    HANDLE h = Open("C:\\new.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, "abc", 3, &written, nullptr));
    EXPECT_EQ(written, 3u);
    char buffer[4];
    DWORD read = 7;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(h, buffer, 3, &read, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(read, 0u);
    CloseHandle(h);
    EXPECT_EQ(Read("new.txt"), "abc");

    struct Case {
        const char* name;
        DWORD disposition;
        DWORD error;  // 0: opens
        DWORD lastError;
    } cases[] = {
        {"C:\\new.txt", CREATE_ALWAYS, 0, ERROR_ALREADY_EXISTS},
        {"C:\\new.txt", OPEN_ALWAYS, 0, ERROR_ALREADY_EXISTS},
        {"C:\\other.txt", OPEN_ALWAYS, 0, 0},
        {"C:\\new.txt", CREATE_NEW, ERROR_FILE_EXISTS, 0},
        {"C:\\none.txt", OPEN_EXISTING, ERROR_FILE_NOT_FOUND, 0},
        {"C:\\none\\x.txt", OPEN_EXISTING, ERROR_PATH_NOT_FOUND, 0},
        {"C:\\none\\x.txt", CREATE_ALWAYS, ERROR_PATH_NOT_FOUND, 0},
        {"C:\\", OPEN_EXISTING, ERROR_ACCESS_DENIED, 0},
        {"Q:\\x.txt", CREATE_ALWAYS, ERROR_INVALID_DRIVE, 0},
        {"C:\\new.txt", 9, ERROR_INVALID_PARAMETER, 0},
    };
    for (const Case& c : cases) {
        SetLastError(0xdeadbeef);
        HANDLE f = Open(c.name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, c.disposition);
        if (c.error) {
            EXPECT_EQ(f, INVALID_HANDLE_VALUE) << c.name << " " << c.disposition;
            EXPECT_EQ(GetLastError(), c.error) << c.name << " " << c.disposition;
        } else {
            EXPECT_NE(f, INVALID_HANDLE_VALUE) << c.name << " " << c.disposition;
            EXPECT_EQ(GetLastError(), c.lastError) << c.name << " " << c.disposition;
            CloseHandle(f);
        }
    }
    EXPECT_EQ(Read("new.txt"), "");  // CREATE_ALWAYS truncated it
}

TEST_F(Files, ReadOnlyFilesRefuseWritersAndDeletion) {
    Write("ro.txt", "keep");
    ReadOnly("ro.txt");
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open("C:\\ro.txt", GENERIC_WRITE, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetFileAttributesA("C:\\ro.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(DeleteFileA("C:\\ro.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(SetFileAttributesA("C:\\ro.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA("C:\\ro.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileA("C:\\RO.TXT"));  // names match without regard to case
    EXPECT_FALSE(std::filesystem::exists(Native("ro.txt")));
}

TEST_F(Files, DeleteFailures) {
    std::filesystem::create_directories(Native("folder"));
    struct Case {
        const char* name;
        DWORD error;
    } cases[] = {
        {"C:\\missing.dll", ERROR_FILE_NOT_FOUND},
        {"C:\\nowhere\\missing.dll", ERROR_PATH_NOT_FOUND},
        {"C:\\folder", ERROR_ACCESS_DENIED},
        {"", ERROR_PATH_NOT_FOUND},
        {"C:\\a|b", ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(DeleteFileA(c.name)) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
}

TEST_F(Files, ShareModesHoldBetweenHandles) {
    Write("shared.txt", "x");
    HANDLE exclusive = Open("C:\\shared.txt", GENERIC_READ, 0);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open("C:\\shared.txt", GENERIC_READ, FILE_SHARE_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(DeleteFileA("C:\\shared.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(exclusive);

    HANDLE reader = Open("C:\\shared.txt", GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    HANDLE second = Open("C:\\shared.txt", GENERIC_READ, FILE_SHARE_READ);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);  // both share reading
    EXPECT_EQ(Open("C:\\shared.txt", GENERIC_WRITE, FILE_SHARE_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(second);
    CloseHandle(reader);

    HANDLE lenient = Open("C:\\shared.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE);
    EXPECT_TRUE(DeleteFileA("C:\\shared.txt"));
    CloseHandle(lenient);
}

// A handle in another process counts too, and ends with that process.
TEST_F(Files, ASharingHandleInAnotherProcessRefusesDeletionUntilItEnds) {
    Write("held.dll", "x");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HANDLE h = CreateFileA("C:\\held.dll", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (write(ready[1], h == INVALID_HANDLE_VALUE ? "n" : "y", 1) != 1) _exit(2);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA("C:\\held.dll"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(DeleteFileA("C:\\held.dll"));
}

// A running program's file is in use: deleting it is refused until the program ends.
TEST_F(Files, ARunningProgramsFileIsInUse) {
    std::filesystem::create_directories(Native("Tools\\Lib"));
    std::filesystem::copy_file("/bin/sleep", Native("Tools\\Lib\\unbrevanto"));
    std::string program = Native("Tools\\Lib\\unbrevanto").string();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(program.c_str(), "unbrevanto", "30", nullptr);
        _exit(127);
    }
    // Until the exec is done, the file is not mapped yet.
    for (int i = 0; i < 400; ++i) {
        std::error_code ignored;
        if (std::filesystem::read_symlink("/proc/" + std::to_string(child) + "/exe", ignored).filename() == "unbrevanto")
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA("C:\\Tools\\Lib\\unbrevanto"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(DeleteFileA("C:\\Tools\\Lib\\unbrevanto"));
}

TEST_F(Files, RemoveDirectoryRules) {
    Write("full\\file", "x");
    std::filesystem::create_directories(Native("empty"));
    struct Case {
        const char* name;
        DWORD error;
    } cases[] = {
        {"C:\\full", ERROR_DIR_NOT_EMPTY}, {"C:\\full\\file", ERROR_DIRECTORY}, {"C:\\nothing", ERROR_FILE_NOT_FOUND},
        {"C:\\no\\thing", ERROR_PATH_NOT_FOUND}, {"C:", ERROR_ACCESS_DENIED}, {"C:\\", ERROR_ACCESS_DENIED},
        {"C:\\EMPTY", 0},
    };
    for (const Case& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(RemoveDirectoryA(c.name), c.error == 0) << c.name;
        EXPECT_EQ(GetLastError(), c.error ? c.error : 0xdeadbeef) << c.name;
    }
    EXPECT_TRUE(std::filesystem::exists(Native("full\\file")));
    EXPECT_FALSE(std::filesystem::exists(Native("empty")));
    EXPECT_TRUE(CreateDirectoryA("C:\\made", nullptr));
    EXPECT_FALSE(CreateDirectoryA("C:\\made", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA("C:\\a\\b", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(Files, TempPathAndItsBufferEdges) {
    Save("TMP", "C:\\Temp Dir");
    char buffer[32];
    memset(buffer, 'x', sizeof buffer);
    const DWORD length = 12;  // "C:\Temp Dir\"
    EXPECT_EQ(GetTempPathA(length, buffer), length + 1);
    EXPECT_EQ(buffer[0], 'x');  // too small: nothing written
    EXPECT_EQ(GetTempPathA(length + 1, buffer), length);
    EXPECT_STREQ(buffer, "C:\\Temp Dir\\");
    EXPECT_EQ(GetTempPathA(0, nullptr), length + 1);
    Save("TMP", (drive_ / "tmp").string());
    EXPECT_EQ(GetTempPathA(sizeof buffer, buffer), 7u);
    EXPECT_STREQ(buffer, "C:\\tmp\\");
}

}  // namespace
