// The FTP calls against real servers (pyftpdlib with a user and anonymous,
// passive and active; vsftpd anonymous, passive and active): login, folders,
// transfers byte for byte and in text mode, renames, deletes, listings, the
// server's words on refusals, and local files as Windows makes them.
#include "ftp_support.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>

using ftptest::FindAll;
using ftptest::FindResult;
using ftptest::FtpTest;
using ftptest::LastResponse;
using test::Exists;
using test::Internet;
using test::ReadFile;
using test::WriteFile;

namespace {

DWORD HandleType(HINTERNET h)
{
    DWORD type = 0, size = sizeof type;
    if (!InternetQueryOptionA(h, INTERNET_OPTION_HANDLE_TYPE, &type, &size))
        return 0;
    return type;
}

bool StartsWith(const std::string &text, const char *prefix) { return text.rfind(prefix, 0) == 0; }

std::vector<std::string> FolderEntries(const std::string &path)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(path.c_str())) {
        while (dirent *e = readdir(d)) {
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

unsigned long long Ticks(const FILETIME &t)
{
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

unsigned long long TicksOfUnixTime(time_t t) { return (static_cast<unsigned long long>(t) + 11644473600ull) * 10000000ull; }

const FindResult *Named(const std::vector<FindResult> &found, const std::string &name)
{
    for (const FindResult &f : found) {
        if (f.name == name)
            return &f;
    }
    return nullptr;
}

std::vector<std::string> Names(const std::vector<FindResult> &found)
{
    std::vector<std::string> names;
    for (const FindResult &f : found)
        names.push_back(f.name);
    std::sort(names.begin(), names.end());
    return names;
}

class FtpServers : public FtpTest {
protected:
    // Puts data on the server as name, through FtpPutFileA.
    void Upload(const std::string &name, const std::string &data)
    {
        std::string local = LocalFile("upload-" + std::to_string(uploads_++));
        WriteFile(local, data);
        ASSERT_TRUE(FtpPutFileA(Connection(), local.c_str(), name.c_str(), FTP_TRANSFER_TYPE_BINARY, 0))
            << GetLastError() << " " << LastResponse();
    }

private:
    int uploads_ = 0;
};

TEST_P(FtpServers, LogsInAndKeepsTheLoginReply)
{
    EXPECT_EQ(HandleType(Connection()), static_cast<DWORD>(INTERNET_HANDLE_TYPE_CONNECT_FTP));
    Internet again(Connect());
    ASSERT_TRUE(again);
    DWORD code = 0;
    std::string reply = LastResponse(&code);
    EXPECT_TRUE(StartsWith(reply, "230")) << reply;
    EXPECT_EQ(code, 230u);
}

TEST_P(FtpServers, WrongPasswordFailsWithTheServersText)
{
    const ftptest::Server &s = GetParam();
    const test::Servers &servers = test::Servers::Get();
    SetLastError(0xdeadbeef);
    HINTERNET h = InternetConnectA(Session(), "127.0.0.1", static_cast<INTERNET_PORT>(servers.Port(s.portKey)),
                                   s.wrongUser, s.wrongPassword, INTERNET_SERVICE_FTP,
                                   s.passive ? INTERNET_FLAG_PASSIVE : 0, 0);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    DWORD code = 0;
    std::string reply = LastResponse(&code);
    EXPECT_TRUE(StartsWith(reply, "530 ")) << reply;
    EXPECT_GT(reply.size(), 4u);
    EXPECT_EQ(code, 530u);
    if (h)
        InternetCloseHandle(h);
}

TEST_P(FtpServers, MakesAndRemovesDirectories)
{
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(FtpCreateDirectoryA(Connection(), "made")) << GetLastError();
    EXPECT_TRUE(Exists(ServerFile("made")));
    EXPECT_TRUE(StartsWith(LastResponse(), "257")) << LastResponse();

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpCreateDirectoryA(Connection(), "made"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_TRUE(StartsWith(LastResponse(), "550 ")) << LastResponse();

    ASSERT_TRUE(FtpRemoveDirectoryA(Connection(), "made")) << GetLastError();
    EXPECT_FALSE(Exists(ServerFile("made")));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpRemoveDirectoryA(Connection(), "made"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_TRUE(StartsWith(LastResponse(), "550 ")) << LastResponse();

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpCreateDirectoryA(Connection(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // A name cannot smuggle in a second command.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpCreateDirectoryA(Connection(), "x\r\nDELE y"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_P(FtpServers, BinaryFilesGoBothWaysByteForByte)
{
    for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(300001)}) {
        std::string data = ftptest::AwkwardBytes(size);
        std::string name = "data-" + std::to_string(size) + ".bin";
        std::string local = LocalFile(name);
        WriteFile(local, data);
        SetLastError(0xdeadbeef);
        ASSERT_TRUE(FtpPutFileA(Connection(), local.c_str(), name.c_str(), FTP_TRANSFER_TYPE_BINARY, 0))
            << GetLastError() << " " << LastResponse();
        EXPECT_EQ(ReadFile(ServerFile(name)), data) << size;

        // FTP_TRANSFER_TYPE_UNKNOWN is binary too.
        std::string back = LocalFile("back-" + name);
        SetLastError(0xdeadbeef);
        ASSERT_TRUE(FtpGetFileA(Connection(), name.c_str(), back.c_str(), FALSE, FILE_ATTRIBUTE_NORMAL,
                                FTP_TRANSFER_TYPE_UNKNOWN, 0))
            << GetLastError() << " " << LastResponse();
        EXPECT_EQ(ReadFile(back), data) << size;
        EXPECT_TRUE(StartsWith(LastResponse(), "226")) << LastResponse();
    }
}

TEST_P(FtpServers, TextModeTurnsLineEndsTheServersWay)
{
    WriteFile(LocalFile("unix.txt"), "one\ntwo\n");
    ASSERT_TRUE(FtpPutFileA(Connection(), LocalFile("unix.txt").c_str(), "lines.txt", FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_TRUE(FtpGetFileA(Connection(), "lines.txt", LocalFile("crlf.txt").c_str(), FALSE, 0,
                            FTP_TRANSFER_TYPE_ASCII, 0))
        << GetLastError();
    EXPECT_EQ(ReadFile(LocalFile("crlf.txt")), "one\r\ntwo\r\n");

    WriteFile(LocalFile("dos.txt"), "three\r\nfour\r\n");
    ASSERT_TRUE(FtpPutFileA(Connection(), LocalFile("dos.txt").c_str(), "stored.txt", FTP_TRANSFER_TYPE_ASCII, 0))
        << GetLastError();
    EXPECT_EQ(ReadFile(ServerFile("stored.txt")), "three\nfour\n");

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpGetFileA(Connection(), "lines.txt", LocalFile("both.txt").c_str(), FALSE, 0,
                             FTP_TRANSFER_TYPE_ASCII | FTP_TRANSFER_TYPE_BINARY, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(Exists(LocalFile("both.txt")));
}

TEST_P(FtpServers, RenamesAndDeletes)
{
    Upload("one.txt", "renamed content");
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(FtpRenameFileA(Connection(), "one.txt", "two.txt")) << GetLastError() << " " << LastResponse();
    EXPECT_FALSE(Exists(ServerFile("one.txt")));
    EXPECT_EQ(ReadFile(ServerFile("two.txt")), "renamed content");

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpRenameFileA(Connection(), "one.txt", "three.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    // The refusal of RNFR, not the RNTO that followed it.
    EXPECT_TRUE(StartsWith(LastResponse(), "550 ")) << LastResponse();

    ASSERT_TRUE(FtpDeleteFileA(Connection(), "two.txt")) << GetLastError();
    EXPECT_FALSE(Exists(ServerFile("two.txt")));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpDeleteFileA(Connection(), "two.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_TRUE(StartsWith(LastResponse(), "550 ")) << LastResponse();
}

TEST_P(FtpServers, ListsWithPatterns)
{
    Upload("a1.txt", std::string(10, 'x'));
    Upload("a2.txt", std::string(20, 'y'));
    Upload("b.log", "b");
    ASSERT_TRUE(FtpCreateDirectoryA(Connection(), "adir"));
    Upload("adir/inner.txt", "inner");

    DWORD error = 0xdeadbeef;
    std::vector<FindResult> found = FindAll(Connection(), "a*", &error);
    EXPECT_EQ(error, 0u);
    ASSERT_EQ(Names(found), (std::vector<std::string>{"a1.txt", "a2.txt", "adir"}));
    const FindResult *a2 = Named(found, "a2.txt");
    EXPECT_EQ(a2->attributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(a2->size, 20u);
    const FindResult *dir = Named(found, "adir");
    EXPECT_EQ(dir->attributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(dir->size, 0u);

    // The listing's time, in all three places: the file's time on the
    // server, at most cut to the minute by a Unix listing.
    struct stat st;
    ASSERT_EQ(stat(ServerFile("a2.txt").c_str(), &st), 0);
    unsigned long long modified = TicksOfUnixTime(st.st_mtime);
    EXPECT_LE(Ticks(a2->written), modified);
    EXPECT_LT(modified - Ticks(a2->written), 60ull * 10000000ull);
    EXPECT_EQ(Ticks(a2->created), Ticks(a2->written));
    EXPECT_EQ(Ticks(a2->accessed), Ticks(a2->written));

    EXPECT_EQ(Names(FindAll(Connection(), "*.txt", &error)), (std::vector<std::string>{"a1.txt", "a2.txt"}));
    EXPECT_EQ(Names(FindAll(Connection(), "?2.txt", &error)), (std::vector<std::string>{"a2.txt"}));
    // Everything, the file names as the server spells them.
    std::vector<std::string> all = {"a1.txt", "a2.txt", "adir", "b.log"};
    EXPECT_EQ(Names(FindAll(Connection(), nullptr, &error)), all);
    EXPECT_EQ(Names(FindAll(Connection(), "", &error)), all);
    EXPECT_EQ(Names(FindAll(Connection(), "*.*", &error)), all);
    EXPECT_TRUE(FindAll(Connection(), "A*", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_MORE_FILES));
    // A directory part lists that directory.
    EXPECT_EQ(Names(FindAll(Connection(), "adir/*", &error)), (std::vector<std::string>{"inner.txt"}));
    EXPECT_EQ(Names(FindAll(Connection(), (RemoteDir() + "/b*").c_str(), &error)), (std::vector<std::string>{"b.log"}));
    // A plain name: the file itself, or what a directory holds.
    found = FindAll(Connection(), "a1.txt", &error);
    ASSERT_EQ(Names(found), (std::vector<std::string>{"a1.txt"}));
    EXPECT_EQ(found[0].size, 10u);
    EXPECT_EQ(Names(FindAll(Connection(), "adir", &error)), (std::vector<std::string>{"inner.txt"}));

    SetLastError(0xdeadbeef);
    WIN32_FIND_DATAA data;
    std::memset(&data, 0x5A, sizeof data);
    EXPECT_EQ(FtpFindFirstFileA(Connection(), "nothing-like-it*", &data, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
}

TEST_P(FtpServers, MissingFilesGetTheServersText)
{
    WriteFile(LocalFile("precious.txt"), "keep me");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpGetFileA(Connection(), "no-such-file.bin", LocalFile("precious.txt").c_str(), FALSE, 0, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    DWORD code = 0;
    std::string reply = LastResponse(&code);
    EXPECT_TRUE(StartsWith(reply, "550 ")) << reply;
    EXPECT_EQ(code, 550u);
    // No partial file, and the one that was there is as it was.
    EXPECT_EQ(ReadFile(LocalFile("precious.txt")), "keep me");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpGetFileA(Connection(), "no-such-file.bin", LocalFile("fresh.txt").c_str(), FALSE, 0, 0, 0));
    EXPECT_FALSE(Exists(LocalFile("fresh.txt")));

    WIN32_FIND_DATAA data;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FtpFindFirstFileA(Connection(), "no-such-file.bin", &data, 0, 0), nullptr);
    if (GetParam().refusesMissingNames) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
        EXPECT_TRUE(StartsWith(LastResponse(), "550 ")) << LastResponse();
    } else {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    }
    std::vector<std::string> left = FolderEntries(LocalDir());
    EXPECT_EQ(left, (std::vector<std::string>{"precious.txt"}));
}

TEST_P(FtpServers, FailIfExistsAndAttributes)
{
    Upload("new.txt", "new content");
    WriteFile(LocalFile("old.txt"), "old content");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpGetFileA(Connection(), "new.txt", LocalFile("old.txt").c_str(), TRUE, 0, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadFile(LocalFile("old.txt")), "old content");

    ASSERT_TRUE(FtpGetFileA(Connection(), "new.txt", LocalFile("old.txt").c_str(), FALSE, 0, 0, 0));
    EXPECT_EQ(ReadFile(LocalFile("old.txt")), "new content");
    ASSERT_TRUE(FtpGetFileA(Connection(), "new.txt", LocalFile("unseen.txt").c_str(), TRUE, 0, 0, 0));
    EXPECT_EQ(ReadFile(LocalFile("unseen.txt")), "new content");

    // FILE_ATTRIBUTE_READONLY: no one may write the file; Windows will not replace it either.
    ASSERT_TRUE(FtpGetFileA(Connection(), "new.txt", LocalFile("ro.txt").c_str(), FALSE, FILE_ATTRIBUTE_READONLY, 0,
                            0));
    struct stat st;
    ASSERT_EQ(stat(LocalFile("ro.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_NE(st.st_mode & 0444, 0u);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpGetFileA(Connection(), "new.txt", LocalFile("ro.txt").c_str(), FALSE, 0, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    // A folder is not replaced, and a missing folder is a missing path.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpGetFileA(Connection(), "new.txt", LocalDir().c_str(), FALSE, 0, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpGetFileA(Connection(), "new.txt", LocalFile("no-dir/x.txt").c_str(), FALSE, 0, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_P(FtpServers, LocalFilesByWindowsPaths)
{
    std::string drive = UserDir() + "/c-drive";
    ASSERT_EQ(mkdir(drive.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((drive + "/data").c_str(), 0755), 0);
    WriteFile(UserDir() + "/drives", "C=" + drive + "\n");
    WriteFile(drive + "/data/report.csv", "a,b\r\n1,2\r\n");
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(FtpPutFileA(Connection(), "C:\\data\\report.csv", "report.csv", 0, 0)) << GetLastError();
    EXPECT_EQ(ReadFile(ServerFile("report.csv")), "a,b\r\n1,2\r\n");
    ASSERT_TRUE(FtpGetFileA(Connection(), "report.csv", "c:\\data\\copy.csv", FALSE, 0, 0, 0)) << GetLastError();
    EXPECT_EQ(ReadFile(drive + "/data/copy.csv"), "a,b\r\n1,2\r\n");

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpPutFileA(Connection(), "C:\\data\\missing.csv", "x.csv", 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpPutFileA(Connection(), "C:\\nowhere\\missing.csv", "x.csv", 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpPutFileA(Connection(), "Q:\\data\\report.csv", "x.csv", 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DRIVE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpPutFileA(Connection(), LocalFile("missing").c_str(), "x.csv", 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(Exists(ServerFile("x.csv")));
}

TEST_P(FtpServers, OneEnumerationAtATime)
{
    Upload("f.txt", "f");
    WIN32_FIND_DATAA data;
    Internet find(FtpFindFirstFileA(Connection(), "*", &data, 0, 0));
    ASSERT_TRUE(find) << GetLastError();
    EXPECT_EQ(HandleType(find.get()), static_cast<DWORD>(INTERNET_HANDLE_TYPE_FTP_FIND));
    EXPECT_STREQ(data.cFileName, "f.txt");

    SetLastError(0xdeadbeef);
    EXPECT_EQ(FtpFindFirstFileA(Connection(), "*", &data, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FTP_TRANSFER_IN_PROGRESS));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpCreateDirectoryA(Connection(), "later"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FTP_TRANSFER_IN_PROGRESS));
    char dir[MAX_PATH];
    DWORD size = sizeof dir;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpGetCurrentDirectoryA(Connection(), dir, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FTP_TRANSFER_IN_PROGRESS));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpGetFileA(Connection(), "f.txt", LocalFile("f.txt").c_str(), FALSE, 0, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FTP_TRANSFER_IN_PROGRESS));
    EXPECT_FALSE(Exists(LocalFile("f.txt")));

    // The end of the list does not end the enumeration; closing the handle does.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetFindNextFileA(find.get(), &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetFindNextFileA(find.get(), &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_FALSE(FtpCreateDirectoryA(Connection(), "later"));
    find.Reset();
    EXPECT_TRUE(FtpCreateDirectoryA(Connection(), "later")) << GetLastError();

    // A find that matched nothing leaves no hold behind.
    EXPECT_EQ(FtpFindFirstFileA(Connection(), "zzz*", &data, 0, 0), nullptr);
    EXPECT_TRUE(FtpRemoveDirectoryA(Connection(), "later")) << GetLastError();
}

TEST_P(FtpServers, CurrentDirectoryBufferEdges)
{
    const std::string &dir = RemoteDir();
    DWORD exact = static_cast<DWORD>(dir.size() + 1);
    std::string buffer(exact + 8, 'Z');

    DWORD size = exact - 1;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpGetCurrentDirectoryA(Connection(), buffer.data(), &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, exact);
    EXPECT_EQ(buffer, std::string(exact + 8, 'Z'));

    size = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpGetCurrentDirectoryA(Connection(), nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, exact);

    size = exact;
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(FtpGetCurrentDirectoryA(Connection(), buffer.data(), &size));
    EXPECT_EQ(size, exact - 1);
    EXPECT_EQ(std::string(buffer.c_str()), dir);
    EXPECT_EQ(buffer[exact], 'Z');

    size = exact + 1;
    ASSERT_TRUE(FtpGetCurrentDirectoryA(Connection(), buffer.data(), &size));
    EXPECT_EQ(size, exact - 1);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpGetCurrentDirectoryA(Connection(), buffer.data(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_P(FtpServers, CurrentDirectoryPersists)
{
    ASSERT_TRUE(FtpCreateDirectoryA(Connection(), "deeper"));
    ASSERT_TRUE(FtpSetCurrentDirectoryA(Connection(), "deeper")) << GetLastError();
    EXPECT_TRUE(StartsWith(LastResponse(), "250")) << LastResponse();
    char dir[MAX_PATH];
    DWORD size = sizeof dir;
    ASSERT_TRUE(FtpGetCurrentDirectoryA(Connection(), dir, &size));
    EXPECT_EQ(std::string(dir), RemoteDir() + "/deeper");

    // Relative names now mean the new folder, for every kind of call.
    WriteFile(LocalFile("in.txt"), "inside");
    ASSERT_TRUE(FtpPutFileA(Connection(), LocalFile("in.txt").c_str(), "in.txt", 0, 0));
    EXPECT_EQ(ReadFile(ServerFile("deeper/in.txt")), "inside");
    DWORD error = 0;
    EXPECT_EQ(Names(FindAll(Connection(), "*", &error)), (std::vector<std::string>{"in.txt"}));
    ASSERT_TRUE(FtpGetFileA(Connection(), "in.txt", LocalFile("out.txt").c_str(), FALSE, 0, 0, 0));
    EXPECT_EQ(ReadFile(LocalFile("out.txt")), "inside");

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FtpSetCurrentDirectoryA(Connection(), "not-there"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_TRUE(StartsWith(LastResponse(), "550 ")) << LastResponse();
    size = sizeof dir;
    ASSERT_TRUE(FtpGetCurrentDirectoryA(Connection(), dir, &size));
    EXPECT_EQ(std::string(dir), RemoteDir() + "/deeper");

    ASSERT_TRUE(FtpSetCurrentDirectoryA(Connection(), ".."));
    size = sizeof dir;
    ASSERT_TRUE(FtpGetCurrentDirectoryA(Connection(), dir, &size));
    EXPECT_EQ(std::string(dir), RemoteDir());
}

// The whole round on one connection, as a program would go about it.
TEST_P(FtpServers, TheWholeRound)
{
    ASSERT_TRUE(FtpCreateDirectoryA(Connection(), "round")) << GetLastError();
    ASSERT_TRUE(FtpSetCurrentDirectoryA(Connection(), "round")) << GetLastError();
    std::string data = ftptest::AwkwardBytes(70000);
    WriteFile(LocalFile("round.bin"), data);
    ASSERT_TRUE(FtpPutFileA(Connection(), LocalFile("round.bin").c_str(), "round.bin", FTP_TRANSFER_TYPE_BINARY, 0));
    ASSERT_TRUE(FtpGetFileA(Connection(), "round.bin", LocalFile("back.bin").c_str(), TRUE, FILE_ATTRIBUTE_NORMAL,
                            FTP_TRANSFER_TYPE_BINARY, 0));
    EXPECT_EQ(ReadFile(LocalFile("back.bin")), data);
    ASSERT_TRUE(FtpRenameFileA(Connection(), "round.bin", "renamed.bin"));
    DWORD error = 0;
    std::vector<FindResult> found = FindAll(Connection(), "*.bin", &error);
    ASSERT_EQ(Names(found), (std::vector<std::string>{"renamed.bin"}));
    EXPECT_EQ(found[0].size, data.size());
    EXPECT_FALSE(FtpGetFileA(Connection(), "round.bin", LocalFile("gone.bin").c_str(), FALSE, 0, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_TRUE(StartsWith(LastResponse(), "550 ")) << LastResponse();
    ASSERT_TRUE(FtpDeleteFileA(Connection(), "renamed.bin"));
    ASSERT_TRUE(FtpSetCurrentDirectoryA(Connection(), ".."));
    ASSERT_TRUE(FtpRemoveDirectoryA(Connection(), "round")) << GetLastError() << " " << LastResponse();
    EXPECT_FALSE(Exists(ServerFile("round")));
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpServers, ::testing::ValuesIn(ftptest::AllServers()), ftptest::PrintServer);

}  // namespace
