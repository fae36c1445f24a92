// The library's handlers on the test host, with the recording WinINet in
// place of the real one and allocation faults at hand. Each test starts from
// a freshly attached library and ends with everything torn down: no handle
// left open in WinINet, no list node, no host copy or string outstanding.
#pragma once

#include "faults.h"

#include <core/handlers.h>
#include <core/report.h>
#include <core/state.h>
#include <recording.h>
#include <testhost/fixture.h>

#include <string>

namespace th = halvorin::testhost;
using th::Arg;
using th::Args;
using halvorin::CallOutcome;
using halvorin::Service;

inline constexpr DWORD kUnset = 0xDEADBEEF;

class LibraryTest : public th::HostTest {
protected:
    void SetUp() override
    {
        th::HostTest::SetUp();
        recording::Reset();
        faults::Reset();
        instance = GetModuleHandleA(nullptr);
        ASSERT_TRUE(DllMain(instance, DLL_PROCESS_ATTACH, nullptr));
    }

    void TearDown() override
    {
        RexxFeedback(FEEDBACK_END_OF_SCRIPT, 0);
        DllMain(instance, DLL_PROCESS_DETACH, nullptr);
        EXPECT_EQ(recording::OpenHandles(), 0u) << "WinINet handles left open";
        EXPECT_EQ(faults::LiveBlocks(), 0u) << "list nodes not released";
        th::HostTest::TearDown();
    }

    static CallOutcome Call(HANDLERPROC handler, const Args &args = {}, LONG errorMode = ERRORMODE_SYNTAX)
    {
        return th::Call(handler, args, errorMode);
    }

    // The result text of a call, "" when there is none.
    static std::string Result(const CallOutcome &outcome) { return outcome.result.value_or(""); }

    void OpenSession()
    {
        CallOutcome o = Call(InetOpen);
        ASSERT_EQ(o.errorCode, 0u);
        ASSERT_NE(State.SessionHandle, nullptr);
    }

    // A connection whose handle value lands in `variable`.
    void Connect(const std::string &variable, const std::string &service = "HTTP")
    {
        CallOutcome o = Call(InetConnect, {variable, "server", service});
        ASSERT_EQ(o.errorCode, 0u) << Result(o);
        ASSERT_TRUE(th::Variable(variable).has_value());
    }

    static ULONG_PTR HandleValue(const std::string &variable)
    {
        return std::stoull(th::Variable(variable).value_or("0"));
    }

    // The list from the current handle on, as the recording WinINet names the handles.
    static std::vector<std::string> List()
    {
        std::vector<std::string> names;
        for (HandleNode *node = State.HandleList; node; node = node->Next)
            names.push_back(recording::Name(node->Handle));
        return names;
    }

    HINSTANCE instance{};
};

// The last call of `function` as text, "" when there was none.
inline std::string LastCall(const std::string &function)
{
    auto calls = recording::CallsTo(function);
    return calls.empty() ? std::string() : calls.back().Text();
}

// An open session and a current FTP connection, whose handle value is in F.
class FtpTest : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        OpenSession();
        Connect("F", "FTP");
        ftp = recording::Name(State.HandleList->Handle);
    }

    // With no connection a call reports message 4 and reads no argument.
    static testing::AssertionResult NoServerHandle(HANDLERPROC handler, const Args &args)
    {
        const Service argumentServices[] = {Service::GetArg, Service::GetArgCopy, Service::ArgGiven,
                                            Service::ParseKeywords};
        unsigned before[std::size(argumentServices)];
        for (size_t i = 0; i < std::size(argumentServices); i++)
            before[i] = th::Calls(argumentServices[i]);
        size_t wininetCalls = recording::Calls().size();
        CallOutcome o = Call(handler, args);
        if (o.errorCode != REPORT_PLAIN || Result(o) != "server handle not open")
            return testing::AssertionFailure() << "error " << std::hex << o.errorCode << ", result " << Result(o);
        for (size_t i = 0; i < std::size(argumentServices); i++)
            if (th::Calls(argumentServices[i]) != before[i])
                return testing::AssertionFailure() << th::NameOf(argumentServices[i]) << " was called";
        if (recording::Calls().size() != wininetCalls)
            return testing::AssertionFailure() << "WinINet was called";
        return testing::AssertionSuccess();
    }

    std::string ftp; // the connection's handle as the recording WinINet names it
};
