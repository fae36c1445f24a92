// fixture.h: a GoogleTest fixture over the test host. Each test starts from a
// reset host bound the way the library binds (the table from
// RexxGetHalvorinFuncs), and fails on any host error or any copy or string
// still outstanding at its end.
#ifndef HALVORIN_TESTHOST_FIXTURE_H
#define HALVORIN_TESTHOST_FIXTURE_H

#include <testhost/testhost.h>

#include <gtest/gtest.h>

namespace halvorin::testhost {

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        Reset();
        ASSERT_EQ(RexxGetHalvorinFuncs(&host, sizeof host, HOST_INTERFACE_LEVEL), 0u);
    }

    void TearDown() override {
        for (const HostError &e : TakeHostErrors())
            ADD_FAILURE() << "host error in " << Describe(e);
        EXPECT_EQ(OutstandingCopies(), 0u) << "copies not freed";
        EXPECT_EQ(OutstandingStrings(), 0u) << "strings neither handed over nor freed";
        Reset();
    }

    // Host errors a test provoked on purpose: returns them and forgets them.
    std::vector<HostError> Expected() { return TakeHostErrors(); }

    HOSTSERVICES host{};
};

} // namespace halvorin::testhost

#endif // HALVORIN_TESTHOST_FIXTURE_H
