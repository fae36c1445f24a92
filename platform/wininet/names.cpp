// Names from the per-user hosts file. When <userdir>/hosts exists it is the
// stand-in's only source of names, as a machine that resolves from its hosts
// file alone: a name it lists connects to the address it gives, at any port
// and after redirects too; any other name is not resolved, and the system's
// resolver is never asked. Without the file libcurl asks the system.
#include "internal.h"

#include <arpa/inet.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace wininet {

namespace {

std::string Lowered(std::string_view text)
{
    std::string out(text);
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// A name as the table keeps it: lower case, without a final dot.
std::string NameKey(std::string_view name)
{
    if (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    return Lowered(name);
}

bool IsIpv6(std::string_view host)
{
    in6_addr v6;
    return inet_pton(AF_INET6, std::string(host).c_str(), &v6) == 1;
}

// An address as libcurl's lists take it: IPv6 in brackets.
std::string ListAddress(const std::string &address) { return IsIpv6(address) ? "[" + address + "]" : address; }

struct CurlString {
    char *text = nullptr;
    ~CurlString() { curl_free(text); }
};

}  // namespace

bool IsAddress(std::string_view host)
{
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    in_addr v4;
    return inet_pton(AF_INET, std::string(host).c_str(), &v4) == 1 || IsIpv6(host);
}

const std::vector<std::string> *HostsTable::AddressesOf(std::string_view name) const
{
    auto it = addresses_.find(NameKey(name));
    return it == addresses_.end() ? nullptr : &it->second;
}

const std::string *HostsTable::Find(std::string_view name) const
{
    const std::vector<std::string> *all = AddressesOf(name);
    return all ? &all->front() : nullptr;
}

bool HostsTable::Knows(std::string_view host) const { return IsAddress(host) || Find(host); }

// hosts(5): an address, then names and aliases; '#' starts a comment. A
// name on several lines has several addresses, in the file's order.
void HostsTable::Parse(std::istream &in)
{
    std::string line;
    while (std::getline(in, line)) {
        std::size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string address, name;
        if (!(words >> address) || !IsAddress(address))
            continue;
        while (words >> name) {
            std::string key = NameKey(name);
            if (key.empty())
                continue;
            auto [it, added] = addresses_.try_emplace(key);
            if (added)
                names_.push_back(key);
            if (std::find(it->second.begin(), it->second.end(), address) == it->second.end())
                it->second.push_back(address);
        }
    }
}

std::shared_ptr<const HostsTable> LoadHostsTable()
{
    std::string dir = UserDirectory();
    if (dir.empty())
        return nullptr;
    std::ifstream file(dir + "/hosts");
    if (!file)
        return nullptr;
    auto table = std::make_shared<HostsTable>();
    table->Parse(file);
    return table;
}

curl_slist *HostsTable::ConnectTo(std::string_view except) const
{
    // "NAME::ADDRESS:": any port of NAME goes to that port of its first ADDRESS.
    std::string left = NameKey(except);
    curl_slist *list = nullptr;
    for (const std::string &name : names_) {
        if (name == left)
            continue;
        curl_slist *next =
            curl_slist_append(list, (name + "::" + ListAddress(addresses_.at(name).front()) + ":").c_str());
        if (!next) {
            curl_slist_free_all(list);
            throw std::bad_alloc();
        }
        list = next;
    }
    return list;
}

std::optional<std::string> HostsTable::ResolveEntry(const std::string &proxy) const
{
    // A proxy named without a scheme is an HTTP proxy; without a port libcurl takes 1080.
    std::string text = proxy.find("://") == std::string::npos ? "http://" + proxy : proxy;
    std::unique_ptr<CURLU, void (*)(CURLU *)> u(curl_url(), curl_url_cleanup);
    if (!u)
        throw std::bad_alloc();
    if (curl_url_set(u.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return std::string();
    CurlString host, port;
    if (curl_url_get(u.get(), CURLUPART_HOST, &host.text, 0) != CURLUE_OK || !host.text)
        return std::string();
    curl_url_get(u.get(), CURLUPART_PORT, &port.text, 0);
    std::string name = host.text;
    std::string number = port.text ? port.text : "1080";
    if (name.front() == '[')
        return std::string();  // an IPv6 address is taken as it is
    if (IsAddress(name))
        return name + ":" + number + ":" + name;
    if (const std::string *address = Find(name))
        return name + ":" + number + ":" + ListAddress(*address);
    return std::nullopt;
}

std::string HostsTable::PinEntry(const std::string &host, INTERNET_PORT port, std::size_t limit) const
{
    const std::vector<std::string> *all = AddressesOf(host);
    if (!all)
        return std::string();
    std::string entry = host + ":" + std::to_string(port) + ":";
    for (std::size_t i = 0; i < all->size() && i < limit; ++i)
        entry += (i ? "," : "") + ListAddress((*all)[i]);
    return entry;
}

bool SameName(std::string_view a, std::string_view b) { return NameKey(a) == NameKey(b); }

std::vector<std::string> EnvironmentProxies()
{
    // The variables libcurl reads for a proxy, for whichever scheme.
    static const char *const kVariables[] = {"http_proxy", "https_proxy", "HTTPS_PROXY", "gopher_proxy",
                                             "GOPHER_PROXY", "all_proxy", "ALL_PROXY"};
    std::vector<std::string> proxies;
    for (const char *variable : kVariables) {
        const char *value = std::getenv(variable);
        if (value && *value)
            proxies.emplace_back(value);
    }
    return proxies;
}

}  // namespace wininet
