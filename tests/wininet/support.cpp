#include "support.h"

#include <arpa/inet.h>
#include <cstring>
#include <fstream>
#include <ftw.h>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace test {

namespace {

int RemoveEntry(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }

}  // namespace

RoundTrip QueryAndSetBack(HINTERNET h, DWORD option)
{
    RoundTrip trip;
    alignas(INTERNET_PROXY_INFO) char buffer[4096];
    DWORD length = sizeof buffer;
    if (!InternetQueryOptionA(h, option, buffer, &length)) {
        trip.query = GetLastError();
        // What a caller would set: a record where the option takes one, else a number or a text.
        INTERNET_PROXY_INFO proxy = {INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr};
        HTTP_VERSION_INFO version = {1, 1};
        INTERNET_CONNECTED_INFO connected = {INTERNET_STATE_CONNECTED, 0};
        DWORD_PTR pointer = 0;
        switch (option) {
        case INTERNET_OPTION_PROXY:
            std::memcpy(buffer, &proxy, length = sizeof proxy);
            break;
        case INTERNET_OPTION_HTTP_VERSION:
            std::memcpy(buffer, &version, length = sizeof version);
            break;
        case INTERNET_OPTION_CONNECTED_STATE:
            std::memcpy(buffer, &connected, length = sizeof connected);
            break;
        case INTERNET_OPTION_CONTEXT_VALUE:
        case INTERNET_OPTION_SECURITY_SELECT_CLIENT_CERT:
            std::memcpy(buffer, &pointer, length = sizeof pointer);
            break;
        case INTERNET_OPTION_USER_AGENT:
        case INTERNET_OPTION_USERNAME:
        case INTERNET_OPTION_PASSWORD:
        case INTERNET_OPTION_PROXY_USERNAME:
        case INTERNET_OPTION_PROXY_PASSWORD:
        case INTERNET_OPTION_SECONDARY_CACHE_KEY:
            std::memcpy(buffer, "x", length = 1);
            break;
        default:
            std::memset(buffer, 0, length = sizeof(DWORD));
            break;
        }
    } else if (option == INTERNET_OPTION_CONNECTED_STATE) {
        // The state reads as a word; it is set with a record.
        INTERNET_CONNECTED_INFO connected = {INTERNET_STATE_CONNECTED, 0};
        std::memcpy(buffer, &connected, length = sizeof connected);
    }
    if (!InternetSetOptionA(h, option, buffer, length))
        trip.set = GetLastError();
    return trip;
}

DWORD HandleType(HINTERNET h)
{
    DWORD type = 0, size = sizeof type;
    return InternetQueryOptionA(h, INTERNET_OPTION_HANDLE_TYPE, &type, &size) ? type : 0;
}

void WinInetTest::SetUp()
{
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/wininet-user.XXXXXX";
    char *made = mkdtemp(pattern.data());
    ASSERT_NE(made, nullptr);
    userDir_ = made;
    setenv("PLATFORM_USER_DIR", userDir_.c_str(), 1);
    // Names come from here alone: the tests never ask the machine's resolver.
    WriteFile(userDir_ + "/hosts", kHosts);
}

void WinInetTest::TearDown()
{
    if (!userDir_.empty())
        nftw(userDir_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void WinInetTest::TrustTestCa()
{
    std::string dir = userDir_ + "/certificates";
    mkdir(dir.c_str(), 0700);
    WriteFile(dir + "/root.pem", ReadFile(Servers::Get().Value("CA_FILE")));
}

const Servers &Servers::Get()
{
    static const Servers servers = [] {
        Servers s;
        const char *path = getenv("BREVANTO_SERVERS_ENV");
        if (!path)
            throw std::runtime_error("BREVANTO_SERVERS_ENV is not set: run the test through ctest");
        std::ifstream in(path);
        if (!in)
            throw std::runtime_error(std::string("no servers env file at ") + path);
        std::string line;
        while (std::getline(in, line)) {
            std::size_t eq = line.find('=');
            if (eq != std::string::npos)
                s.values_[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return s;
    }();
    return servers;
}

std::string Servers::Value(const std::string &key) const
{
    auto it = values_.find(key);
    if (it == values_.end())
        throw std::runtime_error("servers.env has no " + key);
    return it->second;
}

std::string Servers::Http(const std::string &path) const
{
    return "http://127.0.0.1:" + Value("HTTP_PORT") + path;
}

std::string Servers::Https(const std::string &path, const std::string &portKey, const std::string &host) const
{
    return "https://" + host + ":" + Value(portKey) + path;
}

std::string Servers::Gopher(const std::string &path) const
{
    return "gopher://127.0.0.1:" + Value("GOPHER_PORT") + path;
}

std::string Servers::Fault(const std::string &path) const
{
    return "http://127.0.0.1:" + Value("FAULT_PORT") + path;
}

Download Fetch(HINTERNET session, const std::string &url, DWORD flags, const std::string &headers, DWORD chunk)
{
    Download d;
    Internet file(InternetOpenUrlA(session, url.c_str(), headers.empty() ? nullptr : headers.c_str(),
                                   headers.empty() ? 0 : static_cast<DWORD>(-1), flags, 0));
    if (!file) {
        d.error = GetLastError();
        return d;
    }
    d.opened = true;
    std::string buffer(chunk, '\0');
    for (;;) {
        DWORD got = 0xdeadbeef;
        if (!InternetReadFile(file.get(), buffer.data(), chunk, &got)) {
            d.error = GetLastError();
            return d;
        }
        if (got > chunk) {
            d.error = 0xBADBAD;
            return d;
        }
        if (got == 0)
            break;
        d.body.append(buffer.data(), got);
    }
    d.complete = true;
    return d;
}

Outcome Put(HINTERNET session, const std::string &url, const std::string &data, DWORD flags)
{
    Outcome o;
    Internet file(InternetOpenUrlA(session, url.c_str(), nullptr, 0, flags, 0));
    if (!file) {
        o.error = GetLastError();
        return o;
    }
    DWORD written = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    o.ok = InternetWriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &written);
    o.error = GetLastError();
    if (o.ok && written != data.size()) {
        o.ok = false;
        o.error = 0xBADBAD;
    }
    return o;
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

bool Exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

int RefusedPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

StalledPort::StalledPort()
{
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        listen(listener_, 0) != 0 || getsockname(listener_, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        throw std::runtime_error("no listening socket for a stalled port");
    port_ = ntohs(addr.sin_port);
    // With a backlog of 0 the queue holds one connection: this one fills it.
    filler_ = socket(AF_INET, SOCK_STREAM, 0);
    if (filler_ < 0 || connect(filler_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        throw std::runtime_error("cannot fill the stalled port's queue");
}

StalledPort::~StalledPort()
{
    if (filler_ >= 0)
        close(filler_);
    if (listener_ >= 0)
        close(listener_);
}

ScopedEnv::ScopedEnv(const char *name, const char *value) : name_(name)
{
    const char *old = getenv(name);
    had_ = old != nullptr;
    if (had_)
        old_ = old;
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

}  // namespace test
