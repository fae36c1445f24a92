// ftp:// URLs through InternetOpenUrlA: the directory checked at once, the
// file read at the first read, made by the first write and extended by later
// ones, each write answered by the server before the call returns.
#include "ftp_support.h"

#include <cstring>

using ftptest::FtpTest;
using ftptest::LastResponse;
using test::Internet;
using test::ReadFile;
using test::WriteFile;

namespace {

bool StartsWith(const std::string &text, const char *prefix) { return text.rfind(prefix, 0) == 0; }

class FtpUrls : public FtpTest {
protected:
    DWORD Flags() const { return GetParam().passive ? INTERNET_FLAG_PASSIVE : 0; }
    HINTERNET Open(const std::string &url, DWORD extra = 0)
    {
        SetLastError(0xdeadbeef);
        return InternetOpenUrlA(Session(), url.c_str(), nullptr, 0, Flags() | extra, 0);
    }
    bool Write(HINTERNET h, const std::string &data)
    {
        DWORD written = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        bool ok = InternetWriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written);
        if (ok) {
            EXPECT_EQ(written, data.size());
        }
        return ok;
    }
};

TEST_P(FtpUrls, ReadsAFileInPieces)
{
    std::string data = ftptest::AwkwardBytes(200003);
    WriteFile(LocalFile("u.bin"), data);
    ASSERT_TRUE(FtpPutFileA(Connection(), LocalFile("u.bin").c_str(), "u.bin", 0, 0)) << GetLastError();
    Internet file(Open(Url("u.bin")));
    ASSERT_TRUE(file) << GetLastError() << " " << LastResponse();
    DWORD type = 0, size = sizeof type;
    ASSERT_TRUE(InternetQueryOptionA(file.get(), INTERNET_OPTION_HANDLE_TYPE, &type, &size));
    EXPECT_EQ(type, static_cast<DWORD>(INTERNET_HANDLE_TYPE_FTP_FILE));

    std::string got;
    char buffer[7000];
    for (;;) {
        DWORD n = 0xdeadbeef;
        ASSERT_TRUE(InternetReadFile(file.get(), buffer, sizeof buffer, &n)) << GetLastError();
        ASSERT_LE(n, sizeof buffer);
        if (n == 0)
            break;
        got.append(buffer, n);
    }
    EXPECT_EQ(got, data);
    EXPECT_TRUE(StartsWith(LastResponse(), "226")) << LastResponse();
    DWORD n = 0xdeadbeef;
    EXPECT_TRUE(InternetReadFile(file.get(), buffer, sizeof buffer, &n));
    EXPECT_EQ(n, 0u);
}

TEST_P(FtpUrls, TextModeFromTheUrl)
{
    WriteFile(LocalFile("t.txt"), "a\nb\n");
    ASSERT_TRUE(FtpPutFileA(Connection(), LocalFile("t.txt").c_str(), "t.txt", 0, 0));
    test::Download d = test::Fetch(Session(), Url("t.txt;type=a"), Flags());
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_EQ(d.body, "a\r\nb\r\n");
    d = test::Fetch(Session(), Url("t.txt"), Flags());
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_EQ(d.body, "a\nb\n");
}

TEST_P(FtpUrls, MissingFileFailsAtTheFirstRead)
{
    Internet file(Open(Url("absent.txt")));
    ASSERT_TRUE(file) << GetLastError() << " " << LastResponse();
    char buffer[16];
    DWORD n = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetReadFile(file.get(), buffer, sizeof buffer, &n));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(StartsWith(LastResponse(), "550 ")) << LastResponse();
    // Later reads do not pass for the end of the file.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetReadFile(file.get(), buffer, sizeof buffer, &n));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
}

TEST_P(FtpUrls, MissingDirectoryFailsAtOpen)
{
    Internet file(Open(Url("no-such-dir/file.txt")));
    EXPECT_FALSE(file);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_TRUE(StartsWith(LastResponse(), "550 ")) << LastResponse();
}

TEST_P(FtpUrls, WritesMakeTheFileThenAppend)
{
    Internet file(Open(Url("made.txt")));
    ASSERT_TRUE(file) << GetLastError();
    ASSERT_TRUE(Write(file.get(), "first,")) << GetLastError() << " " << LastResponse();
    // Answered before the call returned: the server has it all.
    EXPECT_EQ(ReadFile(ServerFile("made.txt")), "first,");
    EXPECT_TRUE(StartsWith(LastResponse(), "226")) << LastResponse();
    ASSERT_TRUE(Write(file.get(), std::string("sec\0nd", 6))) << GetLastError() << " " << LastResponse();
    EXPECT_EQ(ReadFile(ServerFile("made.txt")), std::string("first,sec\0nd", 12));
    ASSERT_TRUE(Write(file.get(), "")) << GetLastError();
    EXPECT_EQ(ReadFile(ServerFile("made.txt")), std::string("first,sec\0nd", 12));

    char buffer[8];
    DWORD n = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetReadFile(file.get(), buffer, sizeof buffer, &n));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE));

    // A new handle on the same URL starts the file over.
    file.Reset(Open(Url("made.txt")));
    ASSERT_TRUE(file);
    ASSERT_TRUE(Write(file.get(), "again"));
    EXPECT_EQ(ReadFile(ServerFile("made.txt")), "again");
}

TEST_P(FtpUrls, AWriteEndsAReadUnderWay)
{
    std::string data = ftptest::AwkwardBytes(3 * 1024 * 1024);
    WriteFile(LocalFile("long.bin"), data);
    ASSERT_TRUE(FtpPutFileA(Connection(), LocalFile("long.bin").c_str(), "long.bin", 0, 0));
    Internet file(Open(Url("long.bin")));
    ASSERT_TRUE(file);
    char buffer[100];
    DWORD n = 0;
    ASSERT_TRUE(InternetReadFile(file.get(), buffer, sizeof buffer, &n));
    EXPECT_GT(n, 0u);
    ASSERT_TRUE(Write(file.get(), "replaced")) << GetLastError() << " " << LastResponse();
    EXPECT_EQ(ReadFile(ServerFile("long.bin")), "replaced");
}

TEST_P(FtpUrls, RefusedUploadGivesTheServersText)
{
    if (GetParam().userKey)
        GTEST_SKIP() << "the user may write everywhere in its folder";
    // Anonymous may write only below its writable folder.
    const test::Servers &servers = test::Servers::Get();
    std::string url = "ftp://127.0.0.1:" + servers.Value(GetParam().portKey) + "/refused.txt";
    Internet file(Open(url));
    ASSERT_TRUE(file) << GetLastError();
    EXPECT_FALSE(Write(file.get(), "no"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    std::string reply = LastResponse();
    EXPECT_TRUE(StartsWith(reply, "550 ") || StartsWith(reply, "553 ")) << reply;
}

TEST_P(FtpUrls, WrongPasswordInTheUrl)
{
    const ftptest::Server &s = GetParam();
    const test::Servers &servers = test::Servers::Get();
    std::string password;
    for (char c : std::string(s.wrongPassword))
        password += c == '@' ? std::string("%40") : std::string(1, c);
    std::string url = "ftp://" + std::string(s.wrongUser) + ":" + password + "@127.0.0.1:" +
                      servers.Value(s.portKey) + "/";
    Internet file(Open(url));
    EXPECT_FALSE(file);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_TRUE(StartsWith(LastResponse(), "530 ")) << LastResponse();
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpUrls, ::testing::ValuesIn(ftptest::AllServers()), ftptest::PrintServer);

}  // namespace
