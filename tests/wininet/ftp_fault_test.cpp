// FTP against the fault server (tests/servers/ftp_fault_server.py): damaged
// listings in every form, data connections that break, servers that stop
// answering, a control connection that goes away, replies of many lines.
#include "ftp_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

using ftptest::FindAll;
using ftptest::FindResult;
using ftptest::LastResponse;
using test::Exists;
using test::Internet;
using test::Servers;

namespace {

std::string Tag() { return std::to_string(getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

SYSTEMTIME When(const FILETIME &t)
{
    SYSTEMTIME s{};
    EXPECT_TRUE(FileTimeToSystemTime(&t, &s));
    return s;
}

// The fault server's log lines of one user: "CONNECTION LINE".
std::vector<std::pair<int, std::string>> Received(const std::string &user)
{
    std::vector<std::pair<int, std::string>> lines;
    std::ifstream in(Servers::Get().Value("FTP_FAULT_LOG"));
    std::string line;
    while (std::getline(in, line)) {
        std::size_t a = line.find(' ');
        std::size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
        if (b == std::string::npos || line.substr(a + 1, b - a - 1) != user)
            continue;
        lines.emplace_back(std::stoi(line.substr(0, a)), line.substr(b + 1));
    }
    return lines;
}

bool OnlyFile(const std::string &folder, const std::string &name)
{
    int count = 0;
    bool found = false;
    if (DIR *d = opendir(folder.c_str())) {
        while (dirent *e = readdir(d)) {
            std::string n = e->d_name;
            if (n == "." || n == "..")
                continue;
            ++count;
            found = found || n == name;
        }
        closedir(d);
    }
    return name.empty() ? count == 0 : count == 1 && found;
}

class FtpFaults : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        session_.Reset(InternetOpenA("ftp-fault-tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
        DWORD timeout = 1500;
        for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                             INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT})
            ASSERT_TRUE(InternetSetOptionA(session_.get(), option, &timeout, sizeof timeout));
        files_ = UserDir() + "/files";
        ASSERT_EQ(mkdir(files_.c_str(), 0755), 0);
    }

    HINTERNET Connect(const std::string &user, const char *portKey = "FTP_FAULT_PORT")
    {
        SetLastError(0xdeadbeef);
        return InternetConnectA(session_.get(), "127.0.0.1", static_cast<INTERNET_PORT>(Servers::Get().Port(portKey)),
                                user.c_str(), "any", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    }

    const std::string &Files() const { return files_; }

private:
    Internet session_;
    std::string files_;
};

TEST_F(FtpFaults, UnixListingSkipsWhatIsNoEntry)
{
    std::string user = "unix." + Tag();
    Internet c(Connect(user));
    ASSERT_TRUE(c) << GetLastError();
    DWORD error = 0xdeadbeef;
    std::vector<FindResult> found = FindAll(c.get(), "*", &error);
    EXPECT_EQ(error, 0u);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0].name, "alpha.txt");
    EXPECT_EQ(found[0].size, 1234u);
    EXPECT_EQ(found[0].attributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    SYSTEMTIME t = When(found[0].written);
    EXPECT_EQ(t.wMonth, 3);
    EXPECT_EQ(t.wDay, 4);
    EXPECT_EQ(t.wHour, 12);
    EXPECT_EQ(t.wMinute, 30);
    EXPECT_EQ(found[1].name, "beta");
    EXPECT_EQ(found[1].attributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(found[1].size, 0u);
    t = When(found[1].written);
    EXPECT_EQ(t.wYear, 2020);
    EXPECT_EQ(t.wMonth, 1);
    EXPECT_EQ(t.wDay, 15);
    EXPECT_EQ(found[2].name, "gamma.lnk");
    EXPECT_EQ(found[2].size, 9u);
    EXPECT_EQ(found[3].name, "huge name with spaces.bin");
    EXPECT_EQ(found[3].size, 5000000000ull);

    // No MLST among the features: LIST, after FEAT.
    std::vector<std::string> commands;
    for (auto &[connection, line] : Received(user))
        commands.push_back(line.substr(0, line.find(' ')));
    EXPECT_NE(std::find(commands.begin(), commands.end(), "FEAT"), commands.end());
    EXPECT_NE(std::find(commands.begin(), commands.end(), "LIST"), commands.end());
    EXPECT_EQ(std::find(commands.begin(), commands.end(), "MLSD"), commands.end());
}

TEST_F(FtpFaults, DosListingSkipsWhatIsNoEntry)
{
    Internet c(Connect("dos." + Tag()));
    ASSERT_TRUE(c) << GetLastError();
    DWORD error = 0xdeadbeef;
    std::vector<FindResult> found = FindAll(c.get(), "*", &error);
    EXPECT_EQ(error, 0u);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].name, "alpha.txt");
    EXPECT_EQ(found[0].size, 1234u);
    SYSTEMTIME t = When(found[0].written);
    EXPECT_EQ(t.wYear, 2021);
    EXPECT_EQ(t.wHour, 12);
    EXPECT_EQ(found[1].name, "beta");
    EXPECT_EQ(found[1].attributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    t = When(found[1].written);
    EXPECT_EQ(t.wHour, 9);
    EXPECT_EQ(t.wMinute, 5);
    EXPECT_EQ(found[2].name, "gamma name.bin");
    EXPECT_EQ(found[2].size, 5000000000ull);
    // Matching happens here, on the names the server gave.
    EXPECT_EQ(FindAll(c.get(), "g*.bin", &error).size(), 1u);
    EXPECT_EQ(FindAll(c.get(), "*.txt", &error).size(), 1u);
}

TEST_F(FtpFaults, MlsdListingSkipsWhatIsNoEntry)
{
    std::string user = "mlsd." + Tag();
    Internet c(Connect(user));
    ASSERT_TRUE(c) << GetLastError();
    DWORD error = 0xdeadbeef;
    std::vector<FindResult> found = FindAll(c.get(), "*", &error);
    EXPECT_EQ(error, 0u);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].name, "alpha.txt");
    SYSTEMTIME t = When(found[0].written);
    EXPECT_EQ(t.wYear, 2021);
    EXPECT_EQ(t.wMonth, 3);
    EXPECT_EQ(t.wSecond, 0);
    EXPECT_EQ(found[1].name, "beta");
    EXPECT_EQ(found[1].attributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(found[1].size, 0u);
    EXPECT_EQ(found[2].name, "gamma name; with semicolon.bin");
    EXPECT_EQ(found[2].size, 5000000000ull);
    t = When(found[2].written);
    EXPECT_EQ(t.wYear, 2019);
    EXPECT_EQ(t.wSecond, 59);
    EXPECT_EQ(t.wMilliseconds, 123);

    bool mlsd = false, list = false;
    for (auto &[connection, line] : Received(user)) {
        mlsd = mlsd || line.rfind("MLSD", 0) == 0;
        list = list || line.rfind("LIST", 0) == 0;
    }
    EXPECT_TRUE(mlsd);
    EXPECT_FALSE(list);
}

TEST_F(FtpFaults, BrokenDataConnectionsLeaveNoFile)
{
    Internet c(Connect("unix." + Tag()));
    ASSERT_TRUE(c) << GetLastError();
    std::string target = Files() + "/target.bin";
    test::WriteFile(target, "what was there");

    struct Case {
        const char *file;
        DWORD error;
        DWORD alternative;
    } cases[] = {
        {"drop-data.bin", ERROR_INTERNET_CONNECTION_ABORTED, ERROR_INTERNET_CONNECTION_ABORTED},
        {"reset-data.bin", ERROR_INTERNET_CONNECTION_RESET, ERROR_INTERNET_CONNECTION_ABORTED},
        {"short-226.bin", ERROR_INTERNET_CONNECTION_ABORTED, ERROR_INTERNET_CONNECTION_ABORTED},
    };
    for (const Case &k : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(FtpGetFileA(c.get(), k.file, target.c_str(), FALSE, 0, 0, 0)) << k.file;
        DWORD e = GetLastError();
        EXPECT_TRUE(e == k.error || e == k.alternative) << k.file << ": " << e;
        EXPECT_EQ(test::ReadFile(target), "what was there") << k.file;
        EXPECT_TRUE(OnlyFile(Files(), "target.bin")) << k.file;
    }
    // The connection is good for more afterwards.
    std::string hello = Files() + "/hello.txt";
    ASSERT_TRUE(FtpGetFileA(c.get(), "hello.txt", hello.c_str(), FALSE, 0, 0, 0)) << GetLastError();
    EXPECT_EQ(test::ReadFile(hello), "hello from the fault server\r\n");
}

TEST_F(FtpFaults, ServersThatStopAnsweringTimeOut)
{
    Internet c(Connect("unix." + Tag()));
    ASSERT_TRUE(c) << GetLastError();
    std::string target = Files() + "/never.bin";
    for (const char *file : {"hang-reply.bin", "stall-data.bin"}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(FtpGetFileA(c.get(), file, target.c_str(), FALSE, 0, 0, 0)) << file;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT)) << file;
        EXPECT_FALSE(Exists(target)) << file;
        EXPECT_TRUE(OnlyFile(Files(), "")) << file;
    }

    Internet hung(Connect("hang-login." + Tag()));
    EXPECT_FALSE(hung);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));

    // A server that takes the connection and never greets.
    Internet silent(Connect("unix." + Tag(), "FTP_FAULT_SILENT_PORT"));
    EXPECT_FALSE(silent);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
}

TEST_F(FtpFaults, DirectoryComesBackAfterAReconnect)
{
    std::string user = "unix." + Tag();
    Internet c(Connect(user));
    ASSERT_TRUE(c) << GetLastError();
    ASSERT_TRUE(FtpSetCurrentDirectoryA(c.get(), "/saved")) << GetLastError();
    // The server drops the control connection instead of answering.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpDeleteFileA(c.get(), "drop-connection"));
    EXPECT_NE(GetLastError(), 0xdeadbeefu);

    char dir[MAX_PATH];
    DWORD size = sizeof dir;
    ASSERT_TRUE(FtpGetCurrentDirectoryA(c.get(), dir, &size)) << GetLastError();
    EXPECT_STREQ(dir, "/saved");
    std::string hello = Files() + "/hello.txt";
    ASSERT_TRUE(FtpGetFileA(c.get(), "hello.txt", hello.c_str(), FALSE, 0, 0, 0)) << GetLastError();

    // The second connection logged in and went back to /saved before anything else.
    std::vector<std::pair<int, std::string>> lines = Received(user);
    ASSERT_FALSE(lines.empty());
    int first = lines.front().first;
    std::vector<std::string> second;
    for (auto &[connection, line] : lines) {
        if (connection != first)
            second.push_back(line);
    }
    ASSERT_GE(second.size(), 4u);
    EXPECT_EQ(second[0].rfind("USER ", 0), 0u);
    auto cwd = std::find(second.begin(), second.end(), "CWD /saved");
    ASSERT_NE(cwd, second.end());
    // The caller's PWD came after the directory was set again.
    EXPECT_NE(std::find(cwd, second.end(), "PWD"), second.end());
    EXPECT_EQ(std::count(second.begin(), second.end(), "DELE drop-connection"), 0);
}

TEST_F(FtpFaults, RepliesOfManyLinesAreKeptWhole)
{
    Internet c(Connect("unix." + Tag()));
    ASSERT_TRUE(c) << GetLastError();
    // After a greeting of two lines, the login's reply is the one kept.
    EXPECT_EQ(LastResponse(), "230 Logged in.");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpDeleteFileA(c.get(), "multi-line"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    DWORD code = 0;
    EXPECT_EQ(LastResponse(&code),
              "550-Cannot delete multi-line:\r\n550-the second line says why\r\n550 and this one ends it.");
    EXPECT_EQ(code, 550u);

    // InternetGetLastResponseInfoA's sizes: the text's length, no zero counted.
    std::string text = LastResponse();
    char small[8];
    DWORD length = sizeof small;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetGetLastResponseInfoA(&code, small, &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(length, text.size());
}

TEST_F(FtpFaults, DirectoryNamesWithQuotes)
{
    Internet c(Connect("unix." + Tag()));
    ASSERT_TRUE(c) << GetLastError();
    ASSERT_TRUE(FtpSetCurrentDirectoryA(c.get(), "we\"ird")) << GetLastError();
    char dir[MAX_PATH];
    DWORD size = sizeof dir;
    ASSERT_TRUE(FtpGetCurrentDirectoryA(c.get(), dir, &size)) << GetLastError();
    EXPECT_STREQ(dir, "/we\"ird");
    EXPECT_EQ(size, 7u);
}

}  // namespace
