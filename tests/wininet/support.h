// Shared by the WinINet tests: a fresh per-user folder for every test, the
// loopback servers' settings, and small helpers built on WinINet calls only.
#ifndef TESTS_WININET_SUPPORT_H
#define TESTS_WININET_SUPPORT_H

#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace test {

// Closes a WinINet handle at the end of its scope.
class Internet {
public:
    Internet() = default;
    explicit Internet(HINTERNET h) : h_(h) {}
    Internet(const Internet &) = delete;
    Internet &operator=(const Internet &) = delete;
    ~Internet() { Reset(); }
    void Reset(HINTERNET h = nullptr)
    {
        if (h_)
            InternetCloseHandle(h_);
        h_ = h;
    }
    HINTERNET Release()
    {
        HINTERNET h = h_;
        h_ = nullptr;
        return h;
    }
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HINTERNET h_ = nullptr;
};

// The names the tests' servers answer to; every other name is unknown.
inline constexpr char kHosts[] = "127.0.0.1 localhost\n";

// Every test runs with PLATFORM_USER_DIR set to a folder of its own, whose
// hosts file (kHosts) answers every name the test looks up.
class WinInetTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    const std::string &UserDir() const { return userDir_; }
    // Makes the tests' CA a trusted root of the user (<userdir>/certificates/root.pem).
    void TrustTestCa();

private:
    std::string userDir_;
};

// The loopback servers of this ctest run (tests/servers).
class Servers {
public:
    static const Servers &Get();
    std::string Value(const std::string &key) const;
    int Port(const std::string &key) const { return std::stoi(Value(key)); }
    std::string Http(const std::string &path) const;
    std::string Https(const std::string &path, const std::string &portKey = "HTTPS_PORT",
                      const std::string &host = "localhost") const;
    std::string Gopher(const std::string &path) const;
    std::string Fault(const std::string &path) const;

private:
    std::map<std::string, std::string> values_;
};

// The result of a call: success and the last error right after it.
struct Outcome {
    bool ok = false;
    DWORD error = 0;
};

// Opens url on session, reads it to the end in reads of chunk bytes.
struct Download {
    bool opened = false;
    bool complete = false;
    DWORD error = 0;  // of the call that failed
    std::string body;
};
Download Fetch(HINTERNET session, const std::string &url, DWORD flags = 0, const std::string &headers = "",
               DWORD chunk = 4096);
// Opens url on session and writes data with one InternetWriteFile.
Outcome Put(HINTERNET session, const std::string &url, const std::string &data, DWORD flags = 0);

// The outcome of a query of `option` on h with room for any value, and of a
// set of what the query gave (of a plausible value when it gave nothing).
struct RoundTrip {
    DWORD query = 0;  // 0: success, else the last error
    DWORD set = 0;
};
RoundTrip QueryAndSetBack(HINTERNET h, DWORD option);
// INTERNET_OPTION_HANDLE_TYPE of h, 0 when it cannot be read.
DWORD HandleType(HINTERNET h);

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &data);
bool Exists(const std::string &path);
// A loopback port that nothing listens on.
int RefusedPort();
// A loopback port where a connection attempt stalls: it listens, but its
// queue is full and nobody accepts, so new connections get no answer.
class StalledPort {
public:
    StalledPort();
    StalledPort(const StalledPort &) = delete;
    StalledPort &operator=(const StalledPort &) = delete;
    ~StalledPort();
    int Port() const { return port_; }

private:
    int listener_ = -1;
    int filler_ = -1;
    int port_ = 0;
};
// Sets or removes an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value);
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;
    ~ScopedEnv();

private:
    std::string name_;
    std::string old_;
    bool had_;
};

}  // namespace test

#endif  // TESTS_WININET_SUPPORT_H
