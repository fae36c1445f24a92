// The per-user hosts file as the stand-in reads it.
#include "internal.h"

#include <gtest/gtest.h>

#include <sstream>

namespace wininet {
namespace {

HostsTable Parsed(const std::string &text)
{
    HostsTable table;
    std::istringstream in(text);
    table.Parse(in);
    return table;
}

std::vector<std::string> Entries(const curl_slist *list)
{
    std::vector<std::string> out;
    for (; list; list = list->next)
        out.emplace_back(list->data);
    return out;
}

TEST(HostsFile, NamesAndTheirAddresses)
{
    HostsTable t = Parsed("# the servers\n"
                          "127.0.0.1\tlocalhost  alias.test # a comment\n"
                          "\n"
                          "   10.0.0.7 Mixed.Case.test trailing.dot.test.\n"
                          "::1 v6.test localhost\n"
                          "not-an-address bad.test\n"
                          "300.1.1.1 bad2.test\n"
                          "10.0.0.8 alias.test\n"
                          "#10.0.0.9 commented.test\n"
                          "10.0.0.10\n");
    struct Case {
        const char *name;
        const char *address;  // nullptr: not listed
    } cases[] = {
        {"localhost", "127.0.0.1"},  {"LOCALHOST", "127.0.0.1"},     {"alias.test", "127.0.0.1"},
        {"mixed.case.test", "10.0.0.7"}, {"trailing.dot.test", "10.0.0.7"}, {"trailing.dot.test.", "10.0.0.7"},
        {"v6.test", "::1"},           {"bad.test", nullptr},          {"bad2.test", nullptr},
        {"commented.test", nullptr},  {"nowhere.invalid", nullptr},   {"", nullptr},
    };
    for (const Case &c : cases) {
        const std::string *found = t.Find(c.name);
        if (c.address) {
            ASSERT_NE(found, nullptr) << c.name;
            EXPECT_EQ(*found, c.address) << c.name;
        } else {
            EXPECT_EQ(found, nullptr) << c.name;
        }
    }
}

TEST(HostsFile, ANameOnSeveralLinesHasSeveralAddresses)
{
    HostsTable t = Parsed("127.0.0.2 multi.test\n127.0.0.1 other.test\n::1 MULTI.test\n127.0.0.2 multi.test\n");
    ASSERT_NE(t.AddressesOf("multi.test"), nullptr);
    EXPECT_EQ(*t.AddressesOf("multi.test"), (std::vector<std::string>{"127.0.0.2", "::1"}));
    EXPECT_EQ(*t.Find("multi.test"), "127.0.0.2");
    EXPECT_EQ(t.PinEntry("multi.test", 80, 5), "multi.test:80:127.0.0.2,[::1]");
    EXPECT_EQ(t.PinEntry("multi.test", 8080, 1), "multi.test:8080:127.0.0.2");
    EXPECT_EQ(t.PinEntry("none.test", 80, 5), "");
    curl_slist *list = t.ConnectTo("Multi.Test");
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"other.test::127.0.0.1:"}));
    curl_slist_free_all(list);
}

TEST(HostsFile, AddressesAreKnownWithoutBeingListed)
{
    HostsTable t = Parsed("127.0.0.1 localhost\n");
    for (const char *host : {"127.0.0.1", "10.1.2.3", "::1", "[::1]", "localhost"})
        EXPECT_TRUE(t.Knows(host)) << host;
    for (const char *host : {"localhost2", "1.2.3", "[::1", "example.com", ""})
        EXPECT_FALSE(t.Knows(host)) << host;
}

TEST(HostsFile, ListedNamesConnectToTheirAddressAtAnyPort)
{
    HostsTable t = Parsed("127.0.0.1 localhost a.test\n::1 b.test\n");
    curl_slist *list = t.ConnectTo();
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"localhost::127.0.0.1:", "a.test::127.0.0.1:", "b.test::[::1]:"}));
    curl_slist_free_all(list);
    EXPECT_EQ(Parsed("").ConnectTo(), nullptr);
}

TEST(HostsFile, ProxiesByAddressOrListedName)
{
    HostsTable t = Parsed("127.0.0.1 proxy.test\n::1 v6proxy.test\n");
    struct Case {
        const char *proxy;
        const char *entry;  // nullptr: a name the file does not list
    } cases[] = {
        {"http://proxy.test:3128", "proxy.test:3128:127.0.0.1"},
        {"proxy.test:8080", "proxy.test:8080:127.0.0.1"},
        {"socks4://proxy.test:1080", "proxy.test:1080:127.0.0.1"},
        {"http://user:pw@proxy.test:81/", "proxy.test:81:127.0.0.1"},
        {"proxy.test", "proxy.test:1080:127.0.0.1"},
        {"http://v6proxy.test:1", "v6proxy.test:1:[::1]"},
        {"http://127.0.0.1:9", "127.0.0.1:9:127.0.0.1"},
        {"http://[::1]:9", ""},
        {"http://unlisted.test:9", nullptr},
        {"unlisted.test", nullptr},
        {"", ""},
    };
    for (const Case &c : cases) {
        std::optional<std::string> entry = t.ResolveEntry(c.proxy);
        if (c.entry)
            EXPECT_EQ(entry, std::optional<std::string>(c.entry)) << c.proxy;
        else
            EXPECT_FALSE(entry) << c.proxy;
    }
}

}  // namespace
}  // namespace wininet
