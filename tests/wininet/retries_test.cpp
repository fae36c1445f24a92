// INTERNET_OPTION_CONNECT_RETRIES: how many of a name's addresses are tried.
// Run by run_with_hosts, where retries.test has two loopback addresses; a
// server here answers on the second only, so the first refuses.
#include "support.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using test::Internet;

namespace {

std::vector<std::string> Addresses(const char *name)
{
    std::vector<std::string> out;
    struct addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo *found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0)
        return out;
    for (struct addrinfo *a = found; a; a = a->ai_next) {
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &reinterpret_cast<struct sockaddr_in *>(a->ai_addr)->sin_addr, text, sizeof text);
        out.push_back(text);
    }
    freeaddrinfo(found);
    return out;
}

// A socket bound to address:port and not listening (-1 when the port is taken there).
int BoundOnly(const std::string &address, int port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in where = {};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &where.sin_addr);
    if (fd >= 0 && port != 0 && bind(fd, reinterpret_cast<struct sockaddr *>(&where), sizeof where) == 0)
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

// Answers every request with "ok" until it is destroyed.
class Server {
public:
    explicit Server(const std::string &address)
    {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        struct sockaddr_in where = {};
        where.sin_family = AF_INET;
        inet_pton(AF_INET, address.c_str(), &where.sin_addr);
        socklen_t size = sizeof where;
        if (bind(fd_, reinterpret_cast<struct sockaddr *>(&where), size) != 0 || listen(fd_, 8) != 0 ||
            getsockname(fd_, reinterpret_cast<struct sockaddr *>(&where), &size) != 0)
            return;
        port_ = ntohs(where.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~Server()
    {
        stop_ = true;
        shutdown(fd_, SHUT_RDWR);
        if (thread_.joinable())
            thread_.join();
        close(fd_);
    }
    int Port() const { return port_; }

private:
    void Serve()
    {
        while (!stop_) {
            int client = accept(fd_, nullptr, nullptr);
            if (client < 0)
                return;
            std::string head;
            char buffer[1024];
            while (head.find("\r\n\r\n") == std::string::npos) {
                ssize_t n = read(client, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                head.append(buffer, static_cast<std::size_t>(n));
            }
            static const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
            ssize_t sent = write(client, answer, sizeof answer - 1);
            (void)sent;
            close(client);
        }
    }

    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The addresses come from the system (the hosts file run_with_hosts puts in
// place) or from the per-user hosts file, which lists the name twice.
class Retries : public test::WinInetTest, public ::testing::WithParamInterface<bool> {};

INSTANTIATE_TEST_SUITE_P(NamesFrom, Retries, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) { return info.param ? "UserHostsFile" : "System"; });

TEST_P(Retries, AtMostThatManyAddressesAreTried)
{
    std::vector<std::string> addresses = Addresses("retries.test");
    ASSERT_EQ(addresses.size(), 2u) << "run through run_with_hosts";
    if (GetParam())
        test::WriteFile(UserDir() + "/hosts", "127.0.0.1 localhost\n" + addresses[0] + " retries.test\n" +
                                                  addresses[1] + " retries.test\n");
    else
        std::remove((UserDir() + "/hosts").c_str());
    // The same port on the first address must refuse: held there, bound
    // but not listening, so no other server can have it.
    std::unique_ptr<Server> held;
    int guard = -1;
    for (int attempt = 0; attempt < 20 && guard < 0; ++attempt) {
        held = std::make_unique<Server>(addresses[1]);
        guard = BoundOnly(addresses[0], held->Port());
    }
    ASSERT_GE(guard, 0) << "no port free on both addresses";
    const Server &server = *held;
    ASSERT_NE(server.Port(), 0);
    std::string url = "http://retries.test:" + std::to_string(server.Port()) + "/";
    Internet session(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));

    DWORD one = 1;
    ASSERT_TRUE(InternetSetOptionA(session.get(), INTERNET_OPTION_CONNECT_RETRIES, &one, sizeof one));
    SetLastError(0xdeadbeef);
    Internet refused(InternetOpenUrlA(session.get(), url.c_str(), nullptr, 0, 0, 0));
    EXPECT_FALSE(refused);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));

    for (DWORD retries : {2u, 5u}) {
        ASSERT_TRUE(InternetSetOptionA(session.get(), INTERNET_OPTION_CONNECT_RETRIES, &retries, sizeof retries));
        test::Download d = test::Fetch(session.get(), url);
        ASSERT_TRUE(d.complete) << retries << ": " << d.error;
        EXPECT_EQ(d.body, "ok");
    }
    close(guard);
}

}  // namespace
