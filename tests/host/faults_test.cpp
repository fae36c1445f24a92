// Fault injection, call counts and outstanding allocations, and a fault loop
// over a handler written the way the library writes them.
#include <testhost/fixture.h>

namespace halvorin::testhost {
namespace {

HOSTSERVICES services;

// Copies its two arguments, reads a variable, stores a copy of argument 1
// into the variable named by argument 2 and leaves "done" as its result,
// releasing what it took on every path.
DWORD WINAPI CopyAndStore(HOSTCTX ctx, HOSTARGS args, RESULTSLOT *slot) {
    LPSTR text = services.GetArgCopy(ctx, args, 1);
    if (!text)
        return 0;
    LPSTR name = services.GetArgCopy(ctx, args, 2);
    if (!name) {
        services.FreeMem(text);
        return 0;
    }
    DWORD result = 0;
    ULONG_PTR length = 0;
    if (!services.GetVar(ctx, "PREFIX", 0, &length, HOST_VAR_TEXT) && length == HOST_REASON_NO_MEMORY) {
        result = REXX_ERROR_RESOURCES;
    } else if (LPSTR s = services.MakeString(ctx, reinterpret_cast<ULONG_PTR>(text), HOST_STR_TO_ZERO, HOST_STR_COPY)) {
        services.SetVar(ctx, name, 0, reinterpret_cast<ULONG_PTR>(s), 0); // s is the interpreter's, stored or not
        slot->Value = reinterpret_cast<ULONG_PTR>(
            services.MakeString(ctx, reinterpret_cast<ULONG_PTR>("done"), HOST_STR_TO_ZERO, HOST_STR_COPY));
    }
    services.FreeMem(name);
    services.FreeMem(text);
    return result;
}

class FaultsTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        services = host;
    }
    Frame frame{{"argument"}};
};

TEST_F(FaultsTest, TheNthCallFailsAndOnlyThatOne) {
    FailNth(Service::MakeString, 2);
    LPSTR first = host.MakeString(frame.ctx(), 3, 3, HOST_STR_FRESH);
    LPSTR second = host.MakeString(frame.ctx(), 3, 3, HOST_STR_FRESH);
    LPSTR third = host.MakeString(frame.ctx(), 3, 3, HOST_STR_FRESH);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(Calls(Service::MakeString), 3u);
    host.FreeMem(first);
    host.FreeMem(third);

    FailNth(Service::GetArgCopy, 1);
    FailNth(Service::GetArgCopy, 3);
    EXPECT_EQ(host.GetArgCopy(frame.ctx(), frame.args(), 1), nullptr);
    LPSTR copy = host.GetArgCopy(frame.ctx(), frame.args(), 1);
    EXPECT_STREQ(copy, "argument");
    EXPECT_EQ(host.GetArgCopy(frame.ctx(), frame.args(), 1), nullptr);
    host.FreeMem(copy);
    EXPECT_EQ(OutstandingCopies(), 0u);
}

TEST_F(FaultsTest, VariableServicesFailWithTheChosenReason) {
    ASSERT_TRUE(SetVariable("X", "value"));
    FailNth(Service::GetVar, 1, HOST_REASON_NOT_SET);
    FailNth(Service::GetVar, 2, HOST_REASON_NO_MEMORY);
    ULONG_PTR out = 0;
    EXPECT_EQ(host.GetVar(frame.ctx(), "X", 0, &out, HOST_VAR_TEXT), 0u);
    EXPECT_EQ(out, HOST_REASON_NOT_SET);
    out = 3; // an element index that a failure overwrites
    EXPECT_EQ(host.GetVar(frame.ctx(), "X", 0, &out, HOST_VAR_ELEMENT_REASON), 0u);
    EXPECT_EQ(out, HOST_REASON_NO_MEMORY);
    EXPECT_NE(host.GetVar(frame.ctx(), "X", 0, &out, HOST_VAR_TEXT), 0u);

    FailNth(Service::SetVar, 1, HOST_REASON_NO_MEMORY);
    LPSTR s = host.MakeString(frame.ctx(), reinterpret_cast<ULONG_PTR>("new"), 3, HOST_STR_COPY);
    EXPECT_EQ(host.SetVar(frame.ctx(), "X", 0, reinterpret_cast<ULONG_PTR>(s), 0), HOST_REASON_NO_MEMORY);
    EXPECT_EQ(OutstandingStrings(), 0u) << "a string handed to a failing SetVar is still taken over";
    EXPECT_EQ(Variable("X"), "value");
    FailNth(Service::SetVar, 1, HOST_REASON_BAD_NAME);
    EXPECT_EQ(host.SetVar(frame.ctx(), "X", 0, 5, HOST_SET_NUMBER), HOST_REASON_BAD_NAME);
    EXPECT_EQ(Variable("X"), "value");
}

TEST_F(FaultsTest, EveryServiceIsCounted) {
    DWORD out;
    host.GetArg(frame.ctx(), frame.args(), 1, &out);
    host.GetArg(frame.ctx(), frame.args(), HOST_ARG_NUMBER | 1, &out);
    host.ArgGiven(frame.args(), 1);
    host.StrToNum("1", 1, nullptr, 0);
    host.FreeMem(nullptr);
    host.GetDefaultName(frame.ctx(), 1);
    EXPECT_EQ(Calls(Service::GetArg), 2u);
    EXPECT_EQ(Calls(Service::ArgGiven), 1u);
    EXPECT_EQ(Calls(Service::StrToNum), 1u);
    EXPECT_EQ(Calls(Service::FreeMem), 1u);
    EXPECT_EQ(Calls(Service::GetDefaultName), 1u);
    EXPECT_EQ(Calls(Service::GetVar), 0u);
    Reset();
    EXPECT_EQ(Calls(Service::GetArg), 0u);
}

TEST_F(FaultsTest, OutstandingCountsTellCopiesFromStringsAndResetFreesThem) {
    LPSTR copy = host.GetArgCopy(frame.ctx(), frame.args(), 1);
    host.MakeString(frame.ctx(), 1, 1, HOST_STR_FRESH);
    host.MakeString(frame.ctx(), 0, 7, HOST_STR_DECIMAL);
    EXPECT_EQ(OutstandingCopies(), 1u);
    EXPECT_EQ(OutstandingStrings(), 2u);
    FailNth(Service::MakeString, 1);
    Reset();
    EXPECT_EQ(OutstandingCopies(), 0u);
    EXPECT_EQ(OutstandingStrings(), 0u);
    RexxGetHalvorinFuncs(&host, sizeof host, HOST_INTERFACE_LEVEL);
    Frame fresh({"x"});
    LPSTR s = host.MakeString(fresh.ctx(), 1, 1, HOST_STR_FRESH);
    EXPECT_NE(s, nullptr) << "Reset dropped the pending fault";
    host.FreeMem(s);
    host.FreeMem(copy); // freed by Reset already
    EXPECT_EQ(BadFrees().size(), 1u);
    Expected();
}

TEST_F(FaultsTest, EveryFailurePathOfAHandlerReleasesWhatItTook) {
    const Args args = {"payload", "TARGET"};
    CallOutcome clean = Call(CopyAndStore, args);
    ASSERT_EQ(clean.errorCode, 0u);
    ASSERT_EQ(clean.result, "done");
    ASSERT_EQ(Variable("TARGET"), "payload");
    const struct {
        Service service;
        DWORD reason;
    } faults[] = {{Service::GetArgCopy, 0}, {Service::GetVar, HOST_REASON_NO_MEMORY},
                  {Service::GetVar, HOST_REASON_NOT_SET}, {Service::MakeString, 0},
                  {Service::SetVar, HOST_REASON_NO_MEMORY}};
    std::size_t runs = 0;
    for (const auto &f : faults) {
        Reset();
        RexxGetHalvorinFuncs(&host, sizeof host, HOST_INTERFACE_LEVEL);
        Call(CopyAndStore, args);
        unsigned calls = Calls(f.service);
        ASSERT_GT(calls, 0u) << NameOf(f.service);
        for (unsigned n = 1; n <= calls; ++n, ++runs) {
            Reset();
            RexxGetHalvorinFuncs(&host, sizeof host, HOST_INTERFACE_LEVEL);
            FailNth(f.service, n, f.reason);
            CallOutcome r = Call(CopyAndStore, args);
            EXPECT_EQ(OutstandingCopies(), 0u) << NameOf(f.service) << " call " << n;
            EXPECT_EQ(OutstandingStrings(), 0u) << NameOf(f.service) << " call " << n;
            EXPECT_TRUE(HostErrors().empty()) << NameOf(f.service) << " call " << n;
            if (f.service == Service::GetVar && f.reason == HOST_REASON_NO_MEMORY) {
                EXPECT_EQ(r.errorCode, REXX_ERROR_RESOURCES);
            }
        }
    }
    EXPECT_EQ(runs, 2u + 1u + 1u + 2u + 1u);
}

} // namespace
} // namespace halvorin::testhost
