// Dial-up networking over a phonebook in the per-user folder, and the
// connected state WinINet reports: the machine's network as it is (an
// interface other than loopback, up, that carries a default route), the
// connections dialled through the phonebook, and the offline mode an
// application may choose. The phonebook's format is in docs/wininet.md.
#include "internal.h"

#include <raserror.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace wininet {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultTimeout = 90;                       // seconds a dial or hang-up command may take
constexpr auto kPoll = std::chrono::milliseconds(20);      // how often a command or a device is looked at
constexpr unsigned kRouteUp = 0x0001, kRouteReject = 0x0200;  // RTF_UP, RTF_REJECT
constexpr DWORD kDialFlags = INTERNET_AUTODIAL_FORCE_ONLINE | INTERNET_AUTODIAL_FORCE_UNATTENDED |
                             INTERNET_AUTODIAL_FAILIFSECURITYCHECK | INTERNET_AUTODIAL_OVERRIDE_NET_PRESENT |
                             INTERNET_DIAL_FORCE_PROMPT | INTERNET_DIAL_SHOW_OFFLINE | INTERNET_DIAL_UNATTENDED;
constexpr DWORD kAutodialFlags = INTERNET_AUTODIAL_FORCE_ONLINE | INTERNET_AUTODIAL_FORCE_UNATTENDED |
                                 INTERNET_AUTODIAL_FAILIFSECURITYCHECK | INTERNET_AUTODIAL_OVERRIDE_NET_PRESENT;

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// A word for sh -c, whatever characters it holds.
std::string Quoted(const std::string &word)
{
    std::string out = "'";
    for (char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct Entry {
    std::string name;
    std::string dial;
    std::string hangup;
    std::string device;  // the interface the connection brings up; none: up once dialled
    int timeout = kDefaultTimeout;
};

struct Phonebook {
    bool exists = false;
    std::string defaultName;
    std::vector<Entry> entries;

    const Entry *Find(std::string_view name) const
    {
        for (const Entry &e : entries) {
            if (EqualsNoCase(e.name, name))
                return &e;
        }
        return nullptr;
    }
};

Phonebook ReadPhonebook()
{
    Phonebook book;
    std::string dir = UserDirectory();
    if (dir.empty())
        return book;
    std::ifstream in(dir + "/phonebook");
    if (!in)
        return book;
    book.exists = true;
    std::string line;
    while (std::getline(in, line)) {
        std::string_view text = Trim(line);
        if (text.empty() || text[0] == '#' || text[0] == ';')
            continue;
        if (text.front() == '[' && text.back() == ']') {
            Entry entry;
            entry.name = std::string(Trim(text.substr(1, text.size() - 2)));
            book.entries.push_back(std::move(entry));
            continue;
        }
        std::size_t eq = text.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string key;
        for (char c : Trim(text.substr(0, eq)))
            key += Lower(c);
        std::string value(Trim(text.substr(eq + 1)));
        if (book.entries.empty()) {
            if (key == "default")
                book.defaultName = value;
            continue;
        }
        Entry &entry = book.entries.back();
        if (key == "dial")
            entry.dial = value;
        else if (key == "hangup")
            entry.hangup = value;
        else if (key == "device")
            entry.device = value;
        else if (key == "timeout")
            entry.timeout = std::max(1, std::atoi(value.c_str()));
    }
    // Debian's commands for a ppp peer of the same name, unless the entry says otherwise.
    for (Entry &entry : book.entries) {
        if (entry.dial.empty())
            entry.dial = "pon " + Quoted(entry.name);
        if (entry.hangup.empty())
            entry.hangup = "poff " + Quoted(entry.name);
    }
    return book;
}

// The interfaces that are up (loopback aside), and those of them that carry a default route.
struct Network {
    std::set<std::string> up;
    std::vector<std::string> routed;
};

void DefaultRoutes(const char *file, std::size_t destination, std::size_t flags, std::size_t iface, bool header,
                   std::vector<std::string> &out)
{
    std::ifstream in(file);
    std::string line;
    if (header)
        std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::size_t pos = 0;
        while (pos < line.size()) {
            std::size_t start = line.find_first_not_of(" \t", pos);
            if (start == std::string::npos)
                break;
            std::size_t end = line.find_first_of(" \t", start);
            fields.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
            pos = end == std::string::npos ? line.size() : end;
        }
        if (fields.size() <= std::max({destination, flags, iface}))
            continue;
        unsigned routeFlags = static_cast<unsigned>(std::strtoul(fields[flags].c_str(), nullptr, 16));
        bool everywhere = fields[destination].find_first_not_of('0') == std::string::npos;
        if (everywhere && (routeFlags & kRouteUp) && !(routeFlags & kRouteReject))
            out.push_back(fields[iface]);
    }
}

Network ReadNetwork()
{
    Network net;
    struct ifaddrs *list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (struct ifaddrs *a = list; a; a = a->ifa_next) {
            if ((a->ifa_flags & IFF_UP) && !(a->ifa_flags & IFF_LOOPBACK))
                net.up.insert(a->ifa_name);
        }
        freeifaddrs(list);
    }
    std::vector<std::string> routes;
    // IPv4: Iface Destination Gateway Flags ...; IPv6: destination, length, ..., flags, iface.
    DefaultRoutes("/proc/net/route", 1, 3, 0, true, routes);
    DefaultRoutes("/proc/net/ipv6_route", 0, 8, 9, false, routes);
    for (const std::string &iface : routes) {
        if (net.up.count(iface))
            net.routed.push_back(iface);
    }
    return net;
}

struct Dialled {
    std::string name;
    std::string hangup;
    std::string device;
    int timeout = kDefaultTimeout;
    bool autodial = false;

    bool Live(const Network &net) const { return device.empty() || net.up.count(device) > 0; }
};

struct DialState {
    std::mutex operation;  // one dial or hang-up at a time, held while its command runs
    std::mutex lock;       // the table below
    std::map<DWORD_PTR, Dialled> connections;
    DWORD_PTR next = 1;
    std::atomic<DWORD> offline{0};  // the state an application chose, 0: none
};

DialState &Dialling()
{
    static DialState state;
    return state;
}

// Runs a phonebook command through sh: its output goes to standard error, so that a
// script's own output stays clean. ERROR_NO_ANSWER when it outlasts its time.
DWORD RunCommand(const std::string &command, int seconds)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 2, 1);
    // A group of its own, so that a command that takes too long goes with all it started.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    std::string shell = "sh", flag = "-c", text = command;
    char *argv[] = {shell.data(), flag.data(), text.data(), nullptr};
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return ERROR_FROM_DEVICE;

    Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return ERROR_FROM_DEVICE;
        if (Clock::now() >= deadline) {
            kill(-pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return ERROR_NO_ANSWER;
        }
        std::this_thread::sleep_for(kPoll);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ERROR_SUCCESS : ERROR_FROM_DEVICE;
}

bool WaitForDevice(const std::string &device, int seconds)
{
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    while (!ReadNetwork().up.count(device)) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

struct Status {
    DWORD flags = 0;
    std::string name;
    bool connected = false;
};

Status CurrentStatus()
{
    Status status;
    Network net = ReadNetwork();
    Phonebook book = ReadPhonebook();
    DialState &state = Dialling();
    std::set<std::string> dialledDevices;
    {
        std::lock_guard<std::mutex> hold(state.lock);
        for (const auto &[number, connection] : state.connections) {
            if (!connection.device.empty())
                dialledDevices.insert(connection.device);
            if (!(status.flags & INTERNET_CONNECTION_MODEM) && connection.Live(net)) {
                status.flags |= INTERNET_CONNECTION_MODEM;
                status.name = connection.name;
            }
        }
    }
    for (const std::string &iface : net.routed) {
        if (!dialledDevices.count(iface)) {
            status.flags |= INTERNET_CONNECTION_LAN;
            if (status.name.empty())
                status.name = iface;
            break;
        }
    }
    bool up = status.flags & (INTERNET_CONNECTION_MODEM | INTERNET_CONNECTION_LAN);
    if (book.exists)
        status.flags |= INTERNET_RAS_INSTALLED;
    if (up || !book.entries.empty())
        status.flags |= INTERNET_CONNECTION_CONFIGURED;
    ProxySettings proxy;
    {
        std::lock_guard<std::mutex> hold(HandleLock());
        proxy = ProcessOptions().proxy;
    }
    if (ResolvedProxy(proxy).accessType == INTERNET_OPEN_TYPE_PROXY)
        status.flags |= INTERNET_CONNECTION_PROXY;
    status.connected = up && !state.offline.load();
    if (!status.connected) {
        status.flags |= INTERNET_CONNECTION_OFFLINE;
        // The connection a dial would use.
        if (!up)
            status.name = book.defaultName;
    }
    return status;
}

DWORD Dial(const std::string &name, bool autodial, DWORD_PTR &number)
{
    DialState &state = Dialling();
    std::lock_guard<std::mutex> operation(state.operation);
    Phonebook book = ReadPhonebook();
    if (!book.exists)
        return ERROR_CANNOT_OPEN_PHONEBOOK;
    const Entry *entry = book.Find(name.empty() ? book.defaultName : name);
    if (!entry)
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    Network net = ReadNetwork();
    {
        std::lock_guard<std::mutex> hold(state.lock);
        for (const auto &[n, connection] : state.connections) {
            if (EqualsNoCase(connection.name, entry->name) && connection.Live(net)) {
                number = n;
                return ERROR_SUCCESS;
            }
        }
    }
    if (DWORD err = RunCommand(entry->dial, entry->timeout))
        return err;
    if (!entry->device.empty() && !WaitForDevice(entry->device, entry->timeout)) {
        RunCommand(entry->hangup, entry->timeout);
        return ERROR_NO_ANSWER;
    }
    std::lock_guard<std::mutex> hold(state.lock);
    number = state.next++;
    state.connections[number] = Dialled{entry->name, entry->hangup, entry->device, entry->timeout, autodial};
    return ERROR_SUCCESS;
}

DWORD HangUp(DWORD_PTR number)
{
    DialState &state = Dialling();
    std::lock_guard<std::mutex> operation(state.operation);
    Dialled connection;
    {
        std::lock_guard<std::mutex> hold(state.lock);
        auto it = state.connections.find(number);
        if (it == state.connections.end())
            return ERROR_INVALID_HANDLE;
        connection = it->second;
    }
    DWORD err = RunCommand(connection.hangup, connection.timeout);
    // A connection that went down by itself is gone, whatever its command says.
    if (err && connection.Live(ReadNetwork()))
        return err;
    std::lock_guard<std::mutex> hold(state.lock);
    state.connections.erase(number);
    return ERROR_SUCCESS;
}

DWORD Autodial(DWORD flags)
{
    if (flags & ~kAutodialFlags)
        return ERROR_INVALID_PARAMETER;
    Status status = CurrentStatus();
    if ((status.flags & (INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_MODEM)) &&
        !(flags & INTERNET_AUTODIAL_OVERRIDE_NET_PRESENT))
        return ERROR_SUCCESS;
    DWORD_PTR number = 0;
    return Dial(std::string(), true, number);
}

DWORD AutodialHangup()
{
    DialState &state = Dialling();
    DWORD_PTR number = 0;
    {
        std::lock_guard<std::mutex> hold(state.lock);
        for (const auto &[n, connection] : state.connections) {
            if (connection.autodial)
                number = n;
        }
    }
    // Nothing dialled automatically: nothing to hang up.
    return number ? HangUp(number) : ERROR_SUCCESS;
}

}  // namespace

bool OfflineMode() { return Dialling().offline.load() != 0; }

DWORD ConnectedStateWord()
{
    DWORD activity = TransfersBusy() ? INTERNET_STATE_BUSY : INTERNET_STATE_IDLE;
    if (DWORD chosen = Dialling().offline.load())
        return chosen | activity;
    return (CurrentStatus().connected ? INTERNET_STATE_CONNECTED : INTERNET_STATE_DISCONNECTED) | activity;
}

DWORD SetConnectedState(const INTERNET_CONNECTED_INFO &info)
{
    if (info.dwFlags & ~static_cast<DWORD>(ISO_FORCE_DISCONNECTED))
        return ERROR_INVALID_PARAMETER;
    switch (info.dwConnectedState) {
    case INTERNET_STATE_CONNECTED:
        Dialling().offline.store(0);
        return ERROR_SUCCESS;
    case INTERNET_STATE_DISCONNECTED:
    case INTERNET_STATE_DISCONNECTED_BY_USER:
        // Offline by request, as against a machine without a network.
        Dialling().offline.store(INTERNET_STATE_DISCONNECTED_BY_USER);
        return ERROR_SUCCESS;
    default:
        return ERROR_INVALID_PARAMETER;
    }
}

}  // namespace wininet

using namespace wininet;

DWORD WINAPI InternetDial(HWND, LPSTR connectoid, DWORD flags, DWORD_PTR *connection, DWORD reserved)
{
    return Guard([&]() -> DWORD {
        if (!connection || reserved || (flags & ~kDialFlags))
            return ERROR_INVALID_PARAMETER;
        *connection = 0;
        return Dial(connectoid ? connectoid : "", false, *connection);
    });
}

DWORD WINAPI InternetHangUp(DWORD_PTR connection, DWORD reserved)
{
    return Guard([&]() -> DWORD {
        if (reserved)
            return ERROR_INVALID_PARAMETER;
        return HangUp(connection);
    });
}

BOOL WINAPI InternetAutodial(DWORD flags, HWND)
{
    DWORD err = Guard([&] { return Autodial(flags); });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI InternetAutodialHangup(DWORD reserved)
{
    DWORD err = Guard([&]() -> DWORD { return reserved ? ERROR_INVALID_PARAMETER : AutodialHangup(); });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI InternetGetConnectedStateEx(LPDWORD flags, LPSTR connectionName, DWORD nameLength, DWORD reserved)
{
    Status status;
    DWORD err = Guard([&]() -> DWORD {
        if (reserved)
            return ERROR_INVALID_PARAMETER;
        status = CurrentStatus();
        return ERROR_SUCCESS;
    });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    if (flags)
        *flags = status.flags;
    // The name, cut to the buffer and ended by a zero byte.
    if (connectionName && nameLength) {
        std::size_t n = std::min<std::size_t>(status.name.size(), nameLength - 1);
        std::memcpy(connectionName, status.name.data(), n);
        connectionName[n] = '\0';
    }
    return status.connected;
}

BOOL WINAPI InternetGetConnectedState(LPDWORD flags, DWORD reserved)
{
    return InternetGetConnectedStateEx(flags, nullptr, 0, reserved);
}
