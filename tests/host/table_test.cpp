// The service table as the library receives it from RexxGetHalvorinFuncs.
#include <testhost/fixture.h>

#include <cstring>

namespace halvorin::testhost {
namespace {

static_assert(sizeof(HOSTSERVICES) == 23 * 8);
static_assert(offsetof(HOSTSERVICES, MakeString) == 5 * 8);
static_assert(offsetof(HOSTSERVICES, RegisterFunctions) == 7 * 8);
static_assert(offsetof(HOSTSERVICES, GetCallerName) == 15 * 8);
static_assert(offsetof(HOSTSERVICES, GetArgCopy) == 17 * 8);
static_assert(offsetof(HOSTSERVICES, ArgGiven) == 20 * 8);
static_assert(sizeof(FUNCTIONROW) == 18);
static_assert(offsetof(FUNCTIONROW, Handler) == 8);
static_assert(offsetof(FUNCTIONROW, MaxArgs) == 17);
static_assert(sizeof(RESULTSLOT) == 24);
static_assert(offsetof(RESULTSLOT, Reserved) == 8);
static_assert(offsetof(RESULTSLOT, ErrorMode) == 16);
static_assert(sizeof(WIN32_FIND_DATAA) == 320);
static_assert(offsetof(WIN32_FIND_DATAA, dwReserved0) == 36);
static_assert(offsetof(WIN32_FIND_DATAA, cFileName) == 44);

using TableTest = HostTest;

TEST_F(TableTest, FillsEveryEntry) {
    const auto *entries = reinterpret_cast<const void *const *>(&host);
    for (int i = 0; i < HOST_SERVICE_COUNT; ++i)
        EXPECT_NE(entries[i], nullptr) << "entry " << i;
    EXPECT_EQ(std::memcmp(&host, &Services(), sizeof host), 0);
}

TEST_F(TableTest, FillsOnlyTheBytesAskedFor) {
    // 92 bytes is what a 32-bit library asks for: 11 whole entries and half of the twelfth.
    unsigned char buffer[sizeof(HOSTSERVICES) + 16];
    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(RexxGetHalvorinFuncs(reinterpret_cast<HOSTSERVICES *>(buffer), 92, HOST_INTERFACE_LEVEL), 0u);
    EXPECT_EQ(std::memcmp(buffer, &Services(), 92), 0);
    for (std::size_t i = 92; i < sizeof buffer; ++i)
        ASSERT_EQ(buffer[i], 0xAB) << "byte " << i;

    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(RexxGetHalvorinFuncs(reinterpret_cast<HOSTSERVICES *>(buffer), sizeof buffer, HOST_INTERFACE_LEVEL), 0u);
    EXPECT_EQ(std::memcmp(buffer, &Services(), sizeof(HOSTSERVICES)), 0);
    for (std::size_t i = sizeof(HOSTSERVICES); i < sizeof buffer; ++i)
        ASSERT_EQ(buffer[i], 0xAB) << "byte " << i;

    EXPECT_EQ(RexxGetHalvorinFuncs(nullptr, 0, HOST_INTERFACE_LEVEL), 0u);
}

TEST_F(TableTest, AnotherLevelIsReportedButServed) {
    HOSTSERVICES other{};
    EXPECT_EQ(RexxGetHalvorinFuncs(&other, sizeof other, 334), 0u);
    EXPECT_EQ(other.GetArg, host.GetArg);
    auto errors = Expected();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].service, Service::Table);
}

TEST_F(TableTest, UnusedEntriesReportInsteadOfCrashing) {
    for (FARPROC entry : {host.Entry2, host.Entry4, host.Entry8, host.Entry13, host.Entry16, host.Entry22})
        EXPECT_EQ(entry(), 0);
    auto errors = Expected();
    ASSERT_EQ(errors.size(), 6u);
    EXPECT_EQ(errors[0].service, Service::Unused);
    EXPECT_NE(errors[0].message.find("entry 2"), std::string::npos) << errors[0].message;
    EXPECT_NE(errors[5].message.find("entry 22"), std::string::npos) << errors[5].message;
    EXPECT_EQ(Calls(Service::Unused), 6u);
}

} // namespace
} // namespace halvorin::testhost
