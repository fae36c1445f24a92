// Shared by the FTP tests: the loopback FTP servers as test parameters, a
// folder of its own on the server for every test, and small helpers on
// WinINet calls only.
#ifndef TESTS_WININET_FTP_SUPPORT_H
#define TESTS_WININET_FTP_SUPPORT_H

#include "support.h"

#include <ostream>
#include <string>
#include <vector>

namespace ftptest {

// One way to reach one of the servers.
struct Server {
    const char *label;
    const char *portKey;
    const char *userKey;      // nullptr: anonymous (no user given)
    const char *passwordKey;  // nullptr: none given
    bool passive;
    const char *writableKey;  // the folder below the login one that may be written; nullptr: the login folder
    const char *rootKey;      // the local folder of the login one
    const char *wrongUser;
    const char *wrongPassword;
    bool refusesMissingNames;  // LIST or MLST of a name that is not there is refused, not empty
};

inline void PrintTo(const Server &server, std::ostream *out) { *out << server.label; }

const std::vector<Server> &AllServers();
std::string PrintServer(const ::testing::TestParamInfo<Server> &info);

// Text of the calling thread's last response ("<error N>" when there is none to have).
std::string LastResponse(DWORD *code = nullptr);

struct FindResult {
    std::string name;
    DWORD attributes = 0;
    unsigned long long size = 0;
    FILETIME written = {};
    FILETIME created = {};
    FILETIME accessed = {};
};

// FtpFindFirstFileA and InternetFindNextFileA to the end; error receives the
// failure (ERROR_NO_MORE_FILES for none at all), 0 when the end was reached.
std::vector<FindResult> FindAll(HINTERNET connection, const char *pattern, DWORD *error);

// A test against one server: a session, a connection, and a fresh folder of
// the test's own on the server, made the current directory.
class FtpTest : public test::WinInetTest, public ::testing::WithParamInterface<Server> {
protected:
    void SetUp() override;
    void TearDown() override;

    HINTERNET Session() const { return session_.get(); }
    HINTERNET Connection() const { return connection_.get(); }
    HINTERNET Connect(DWORD *error = nullptr) const;
    // The test's folder, as the server names it, and on the local disk.
    const std::string &RemoteDir() const { return remoteDir_; }
    std::string ServerFile(const std::string &name) const { return localDir_ + "/" + name; }
    // A local path in a folder of the test's own, inside its per-user folder.
    const std::string &LocalDir() const { return localFiles_; }
    std::string LocalFile(const std::string &name) const { return localFiles_ + "/" + name; }
    std::string Url(const std::string &path, bool withCredentials = true) const;

private:
    test::Internet session_;
    test::Internet connection_;
    std::string remoteDir_;
    std::string localDir_;
    std::string localFiles_;
};

// Bytes a text or binary mode mix-up shows: zeros, CR, LF, CR LF and the rest.
std::string AwkwardBytes(std::size_t size);

}  // namespace ftptest

#endif  // TESTS_WININET_FTP_SUPPORT_H
