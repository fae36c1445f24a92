#include "ftp_support.h"

#include <sys/stat.h>
#include <unistd.h>

namespace ftptest {

const std::vector<Server> &AllServers()
{
    static const std::vector<Server> servers = {
        {"pyftpd_user_passive", "FTP_PORT", "FTP_USER", "FTP_PASSWORD", true, nullptr, "FTP_ROOT", "brevanto",
         "wrong-password", true},
        {"pyftpd_user_active", "FTP_PORT", "FTP_USER", "FTP_PASSWORD", false, nullptr, "FTP_ROOT", "brevanto",
         "wrong-password", true},
        {"pyftpd_anonymous", "FTP_PORT", nullptr, nullptr, true, "FTP_ANON_WRITABLE", "FTP_ANON_ROOT", "nobody-here",
         "x", true},
        {"vsftpd_anonymous_passive", "VSFTPD_PORT", nullptr, nullptr, true, "VSFTPD_WRITABLE", "VSFTPD_ROOT",
         "anonymous", "wrong@example.com", false},
        {"vsftpd_anonymous_active", "VSFTPD_PORT", nullptr, nullptr, false, "VSFTPD_WRITABLE", "VSFTPD_ROOT",
         "anonymous", "wrong@example.com", false},
    };
    return servers;
}

std::string PrintServer(const ::testing::TestParamInfo<Server> &info) { return info.param.label; }

std::string LastResponse(DWORD *code)
{
    DWORD ignored = 0;
    std::string text(4096, '\0');
    DWORD size = static_cast<DWORD>(text.size());
    if (!InternetGetLastResponseInfoA(code ? code : &ignored, text.data(), &size))
        return "<error " + std::to_string(GetLastError()) + ">";
    text.resize(size);
    return text;
}

namespace {

FindResult Take(const WIN32_FIND_DATAA &d)
{
    FindResult r;
    r.name = d.cFileName;
    r.attributes = d.dwFileAttributes;
    r.size = (static_cast<unsigned long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    r.written = d.ftLastWriteTime;
    r.created = d.ftCreationTime;
    r.accessed = d.ftLastAccessTime;
    return r;
}

}  // namespace

std::vector<FindResult> FindAll(HINTERNET connection, const char *pattern, DWORD *error)
{
    std::vector<FindResult> found;
    WIN32_FIND_DATAA data;
    SetLastError(0xdeadbeef);
    HINTERNET find = FtpFindFirstFileA(connection, pattern, &data, 0, 0);
    if (!find) {
        *error = GetLastError();
        return found;
    }
    found.push_back(Take(data));
    for (;;) {
        SetLastError(0xdeadbeef);
        if (!InternetFindNextFileA(find, &data)) {
            DWORD e = GetLastError();
            *error = e == ERROR_NO_MORE_FILES ? 0 : e;
            break;
        }
        found.push_back(Take(data));
    }
    InternetCloseHandle(find);
    return found;
}

HINTERNET FtpTest::Connect(DWORD *error) const
{
    const Server &s = GetParam();
    const test::Servers &servers = test::Servers::Get();
    std::string user = s.userKey ? servers.Value(s.userKey) : "";
    std::string password = s.passwordKey ? servers.Value(s.passwordKey) : "";
    SetLastError(0xdeadbeef);
    HINTERNET h = InternetConnectA(session_.get(), "127.0.0.1", static_cast<INTERNET_PORT>(servers.Port(s.portKey)),
                                   s.userKey ? user.c_str() : nullptr, s.passwordKey ? password.c_str() : nullptr,
                                   INTERNET_SERVICE_FTP, s.passive ? INTERNET_FLAG_PASSIVE : 0, 0);
    if (error)
        *error = h ? 0 : GetLastError();
    return h;
}

void FtpTest::SetUp()
{
    test::WinInetTest::SetUp();
    localFiles_ = UserDir() + "/files";
    ASSERT_EQ(mkdir(localFiles_.c_str(), 0755), 0);
    session_.Reset(InternetOpenA("ftp-tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ASSERT_TRUE(session_);
    DWORD error = 0;
    connection_.Reset(Connect(&error));
    ASSERT_TRUE(connection_) << "connect: " << error << " " << LastResponse();

    const Server &s = GetParam();
    std::string unique;
    for (char c : std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()))
        unique += isalnum(static_cast<unsigned char>(c)) ? c : '-';
    unique += "-" + std::to_string(getpid());
    std::string writable = s.writableKey ? test::Servers::Get().Value(s.writableKey) : "";
    std::string relative = writable.empty() ? unique : writable + "/" + unique;
    ASSERT_TRUE(FtpCreateDirectoryA(connection_.get(), relative.c_str())) << GetLastError() << " " << LastResponse();
    ASSERT_TRUE(FtpSetCurrentDirectoryA(connection_.get(), relative.c_str())) << GetLastError();
    char dir[MAX_PATH];
    DWORD size = sizeof dir;
    ASSERT_TRUE(FtpGetCurrentDirectoryA(connection_.get(), dir, &size)) << GetLastError();
    remoteDir_ = dir;
    localDir_ = test::Servers::Get().Value(s.rootKey) + "/" + relative;
    ASSERT_TRUE(test::Exists(localDir_)) << localDir_;
}

void FtpTest::TearDown()
{
    connection_.Reset();
    session_.Reset();
    test::WinInetTest::TearDown();
}

std::string FtpTest::Url(const std::string &path, bool withCredentials) const
{
    const Server &s = GetParam();
    const test::Servers &servers = test::Servers::Get();
    std::string credentials;
    if (withCredentials && s.userKey)
        credentials = servers.Value(s.userKey) + ":" + servers.Value(s.passwordKey) + "@";
    std::string writable = s.writableKey ? servers.Value(s.writableKey) + "/" : "";
    std::string unique = localDir_.substr(localDir_.rfind('/') + 1);
    return "ftp://" + credentials + "127.0.0.1:" + servers.Value(s.portKey) + "/" + writable + unique + "/" + path;
}

std::string AwkwardBytes(std::size_t size)
{
    static const char seed[] = {'\0', '\r', '\n', '\r', '\n', 'a', '\n', '\r', '\0', '\xff', '\x1a', 'z'};
    std::string out;
    out.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        out += i % 7 == 3 ? static_cast<char>(i * 31 % 256) : seed[i % sizeof seed];
    return out;
}

}  // namespace ftptest
