// Dial-up over the phonebook in the per-user folder, and the connected state.
// The commands here only write to a log; the network namespace test dials a
// real interface (tests/scripts/dialup).
#include "support.h"

#include <raserror.h>

#include <chrono>

using test::ReadFile;
using test::WriteFile;

namespace {

class Dialup : public test::WinInetTest {
protected:
    std::string Log() const { return UserDir() + "/log"; }
    std::string Logged() const { return test::Exists(Log()) ? ReadFile(Log()) : std::string(); }
    // A phonebook whose commands say in the log what they did.
    void WritePhonebook(const std::string &extra = "")
    {
        WriteFile(UserDir() + "/phonebook", "# test phonebook\n"
                                            "default = Office\n"
                                            "\n"
                                            "[Office]\n"
                                            "dial = echo dial office >> " + Log() + "\n"
                                            "hangup = echo hangup office >> " + Log() + "\n"
                                            "[broken]\n"
                                            "dial = exit 3\n"
                                            "[slow]\n"
                                            "dial = sleep 30\n"
                                            "timeout = 1\n"
                                            "[nodevice]\n"
                                            "dial = true\n"
                                            "hangup = echo hangup nodevice >> " + Log() + "\n"
                                            "device = brevanto-none0\n"
                                            "timeout = 1\n" + extra);
    }
    static DWORD Flags()
    {
        DWORD flags = 0;
        InternetGetConnectedState(&flags, 0);
        return flags;
    }
};

TEST_F(Dialup, WithoutAPhonebookNothingCanBeDialled)
{
    DWORD_PTR connection = 99;
    EXPECT_EQ(InternetDial(nullptr, const_cast<char *>("Office"), 0, &connection, 0),
              static_cast<DWORD>(ERROR_CANNOT_OPEN_PHONEBOOK));
    EXPECT_EQ(connection, 0u);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetAutodial(INTERNET_AUTODIAL_OVERRIDE_NET_PRESENT, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_OPEN_PHONEBOOK));
    EXPECT_FALSE(Flags() & (INTERNET_RAS_INSTALLED | INTERNET_CONNECTION_MODEM));
}

TEST_F(Dialup, ADialledConnectionIsUpUntilHungUp)
{
    WritePhonebook();
    EXPECT_EQ(Flags() & (INTERNET_RAS_INSTALLED | INTERNET_CONNECTION_CONFIGURED),
              static_cast<DWORD>(INTERNET_RAS_INSTALLED | INTERNET_CONNECTION_CONFIGURED));
    DWORD_PTR connection = 0;
    ASSERT_EQ(InternetDial(nullptr, const_cast<char *>("office"), INTERNET_AUTODIAL_FORCE_UNATTENDED, &connection, 0),
              0u);
    EXPECT_NE(connection, 0u);
    EXPECT_EQ(Logged(), "dial office\n");

    DWORD flags = 0;
    char name[64];
    EXPECT_TRUE(InternetGetConnectedStateEx(&flags, name, sizeof name, 0));
    EXPECT_TRUE(flags & INTERNET_CONNECTION_MODEM);
    EXPECT_FALSE(flags & INTERNET_CONNECTION_OFFLINE);
    EXPECT_STREQ(name, "Office");
    // Cut to the buffer, zero byte included.
    EXPECT_TRUE(InternetGetConnectedStateEx(&flags, name, 4, 0));
    EXPECT_STREQ(name, "Off");

    // Dialled already: the same connection, the command not run again.
    DWORD_PTR again = 0;
    ASSERT_EQ(InternetDial(nullptr, const_cast<char *>("OFFICE"), 0, &again, 0), 0u);
    EXPECT_EQ(again, connection);
    EXPECT_EQ(Logged(), "dial office\n");

    EXPECT_EQ(InternetHangUp(connection, 0), 0u);
    EXPECT_EQ(Logged(), "dial office\nhangup office\n");
    EXPECT_FALSE(Flags() & INTERNET_CONNECTION_MODEM);
    EXPECT_EQ(InternetHangUp(connection, 0), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Dialup, FailuresHaveTheirCodes)
{
    WritePhonebook();
    DWORD_PTR connection = 0;
    EXPECT_EQ(InternetDial(nullptr, const_cast<char *>("home"), 0, &connection, 0),
              static_cast<DWORD>(ERROR_CANNOT_FIND_PHONEBOOK_ENTRY));
    EXPECT_EQ(InternetDial(nullptr, const_cast<char *>("broken"), 0, &connection, 0),
              static_cast<DWORD>(ERROR_FROM_DEVICE));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(InternetDial(nullptr, const_cast<char *>("slow"), 0, &connection, 0),
              static_cast<DWORD>(ERROR_NO_ANSWER));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    // A device that never comes up: the connection is hung up again.
    EXPECT_EQ(InternetDial(nullptr, const_cast<char *>("nodevice"), 0, &connection, 0),
              static_cast<DWORD>(ERROR_NO_ANSWER));
    EXPECT_EQ(Logged(), "hangup nodevice\n");
    EXPECT_EQ(connection, 0u);
    EXPECT_EQ(InternetHangUp(12345, 0), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Dialup, ParametersWinINetRefuses)
{
    WritePhonebook();
    DWORD_PTR connection = 0;
    EXPECT_EQ(InternetDial(nullptr, const_cast<char *>("Office"), 0, nullptr, 0),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(InternetDial(nullptr, const_cast<char *>("Office"), 0, &connection, 1),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(InternetDial(nullptr, const_cast<char *>("Office"), 0x100, &connection, 0),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(InternetHangUp(1, 1), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetAutodial(0x10, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetAutodialHangup(1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetGetConnectedState(nullptr, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Logged(), "");
}

TEST_F(Dialup, AutodialUsesTheDefaultConnection)
{
    WritePhonebook();
    // Nothing dialled automatically yet: nothing to hang up.
    EXPECT_TRUE(InternetAutodialHangup(0));
    ASSERT_TRUE(InternetAutodial(INTERNET_AUTODIAL_OVERRIDE_NET_PRESENT, nullptr));
    EXPECT_EQ(Logged(), "dial office\n");
    EXPECT_TRUE(Flags() & INTERNET_CONNECTION_MODEM);
    // Connected now: a plain autodial has nothing to do.
    ASSERT_TRUE(InternetAutodial(0, nullptr));
    EXPECT_EQ(Logged(), "dial office\n");
    ASSERT_TRUE(InternetAutodialHangup(0));
    EXPECT_EQ(Logged(), "dial office\nhangup office\n");
    EXPECT_FALSE(Flags() & INTERNET_CONNECTION_MODEM);

    // An empty name is the default connection as well; a phonebook without one has none.
    DWORD_PTR connection = 0;
    ASSERT_EQ(InternetDial(nullptr, const_cast<char *>(""), 0, &connection, 0), 0u);
    EXPECT_EQ(InternetHangUp(connection, 0), 0u);
    WriteFile(UserDir() + "/phonebook", "[only]\ndial = true\nhangup = true\n");
    EXPECT_EQ(InternetDial(nullptr, nullptr, 0, &connection, 0),
              static_cast<DWORD>(ERROR_CANNOT_FIND_PHONEBOOK_ENTRY));
}

TEST_F(Dialup, OfflineTheDefaultConnectionIsTheOneNamed)
{
    WritePhonebook();
    INTERNET_CONNECTED_INFO offline = {INTERNET_STATE_DISCONNECTED, 0};
    ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_CONNECTED_STATE, &offline, sizeof offline));
    DWORD flags = 0;
    char name[64] = "unchanged";
    EXPECT_FALSE(InternetGetConnectedStateEx(&flags, name, sizeof name, 0));
    EXPECT_TRUE(flags & INTERNET_CONNECTION_OFFLINE);
    // No network: the connection a dial would use; with one, what is up.
    if (!(flags & INTERNET_CONNECTION_LAN)) {
        EXPECT_STREQ(name, "Office");
    }
    INTERNET_CONNECTED_INFO online = {INTERNET_STATE_CONNECTED, 0};
    ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_CONNECTED_STATE, &online, sizeof online));
}

}  // namespace
