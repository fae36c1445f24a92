// Attach, registration, the end-of-script notice and the teardown.
#include "fixture.h"

#include <unistd.h>

#include <cstring>

namespace {

using Lifecycle = LibraryTest;

TEST_F(Lifecycle, AttachBindsTheHostAndSetsUpTheBuffer)
{
    EXPECT_EQ(State.ModuleInstance, instance);
    EXPECT_EQ(State.HostModule, GetModuleHandleA("halvorin.dll"));
    EXPECT_EQ(State.HostServiceTable.GetVar, host.GetVar);
    EXPECT_EQ(State.HostServiceTable.StrToNum, host.StrToNum);
    EXPECT_EQ(State.PageSize, (DWORD)sysconf(_SC_PAGESIZE));
    EXPECT_EQ(State.BufferSize, State.PageSize < 0x20000 ? 0x20000u : State.PageSize);
    EXPECT_EQ(State.SessionHandle, nullptr);
    EXPECT_EQ(State.HandleList, nullptr);
    EXPECT_EQ(State.TransferBufferBase, nullptr);
}

TEST_F(Lifecycle, AReloadStartsFromZero)
{
    DllMain(instance, DLL_PROCESS_DETACH, nullptr);
    State.FindHandle = (HINTERNET)77;
    State.DialFlags = 3;
    State.DialConnection = 9;
    State.BufferSize = 1;
    State.PageSize = 2;
    ASSERT_TRUE(DllMain(instance, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(State.FindHandle, nullptr);
    EXPECT_EQ(State.DialFlags, 0);
    EXPECT_EQ(State.DialConnection, 0u);
    EXPECT_EQ(State.PageSize, (DWORD)sysconf(_SC_PAGESIZE));
    EXPECT_EQ(State.BufferSize, 0x20000u);
}

TEST_F(Lifecycle, RegistersSixteenFunctionsInOrder)
{
    ASSERT_EQ(RexxFeedback(FEEDBACK_REGISTER, 0), 0u);
    struct Row {
        const char *name;
        int min, max;
    };
    const Row expected[] = {
        {"INETCLOSE", 0, 1},  {"INETCONNECT", 0, 7}, {"INETCONNECTURL", 2, 4}, {"INETCOOKIE", 1, 5},
        {"INETDELETE", 1, 1}, {"INETDIAL", 0, 3},    {"INETDIR", 1, 2},        {"INETFILE", 1, 4},
        {"INETIN", 1, 3},     {"INETMATCHNAME", 0, 3}, {"INETMAXIN", 0, 1},    {"INETOPEN", 0, 5},
        {"INETOPTION", 2, 3}, {"INETOUT", 1, 2},     {"INETRENAME", 2, 2},     {"INETTIME", 1, 2},
    };
    ASSERT_EQ(th::Functions().size(), 16u);
    for (size_t i = 0; i < 16; i++) {
        auto f = th::FindFunction(expected[i].name);
        ASSERT_TRUE(f.has_value()) << expected[i].name;
        HANDLERPROC handler = FunctionTable[i].Handler; // a copy: the packed field is misaligned
        EXPECT_EQ(f->handler, handler) << expected[i].name;
        EXPECT_EQ(f->minArgs, expected[i].min) << expected[i].name;
        EXPECT_EQ(f->maxArgs, expected[i].max) << expected[i].name;
        if (i) {
            EXPECT_LT(std::strcmp(expected[i - 1].name, expected[i].name), 0);
        }
    }
    // Names are case-insensitive for scripts.
    EXPECT_EQ(th::CallFunction("inettime", {"x"}).errorCode, 0u);
}

TEST_F(Lifecycle, RegistrationResultIsPassedThrough)
{
    th::FailNth(Service::RegisterFunctions, 1, 1234);
    EXPECT_EQ(RexxFeedback(FEEDBACK_REGISTER, 7), 1234u);
}

TEST_F(Lifecycle, OtherReasonsAndAnEndWithoutSessionChangeNothing)
{
    LibraryState before = State;
    EXPECT_EQ(RexxFeedback(2, 99), 0u);
    EXPECT_EQ(RexxFeedback(0xFFFFFFFF, 0), 0u);
    EXPECT_EQ(RexxFeedback(FEEDBACK_END_OF_SCRIPT, 5), 0u);
    EXPECT_EQ(RexxFeedback(FEEDBACK_END_OF_SCRIPT, 5), 0u);
    EXPECT_EQ(std::memcmp(&before, &State, sizeof State), 0);
    EXPECT_TRUE(recording::Calls().empty());
}

TEST_F(Lifecycle, ADialWithoutSessionSurvivesTheEndOfScript)
{
    State.DialFlags = DIAL_BROUGHT_UP | DIAL_BY_NUMBER;
    State.DialConnection = 42;
    RexxFeedback(FEEDBACK_END_OF_SCRIPT, 0);
    EXPECT_EQ(State.DialFlags, DIAL_BROUGHT_UP | DIAL_BY_NUMBER);
    EXPECT_TRUE(recording::CallsTo("InternetHangUp").empty());
    State.DialFlags = 0;
}

TEST_F(Lifecycle, TeardownClosesEveryHandleCurrentFirstThenTheSession)
{
    OpenSession();
    Connect("a");
    Connect("b");
    Connect("c");
    std::vector<std::string> list = List();
    ASSERT_EQ(list.size(), 3u);
    HINTERNET session = State.SessionHandle;
    State.FindHandle = (HINTERNET)4242; // an enumeration in progress
    ASSERT_NE(State.TransferBufferBase = VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_READWRITE), nullptr);
    State.DialFlags = DIAL_BROUGHT_UP | DIAL_BY_NUMBER;
    State.DialConnection = 31;
    recording::Reset();

    EXPECT_EQ(RexxFeedback(FEEDBACK_END_OF_SCRIPT, 0), 0u);
    std::vector<std::string> calls;
    for (const recording::Call &c : recording::Calls())
        calls.push_back(c.Text());
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "InternetCloseHandle(" + list[0] + ")",
                         "InternetCloseHandle(" + list[1] + ")",
                         "InternetCloseHandle(" + list[2] + ")",
                         "InternetHangUp(31, 0)",
                         "InternetCloseHandle(" + recording::Name(session) + ")",
                         "InternetCloseHandle(h4242)",
                     }));
    EXPECT_EQ(State.SessionHandle, nullptr);
    EXPECT_EQ(State.HandleList, nullptr);
    EXPECT_EQ(State.FindHandle, nullptr);
    EXPECT_EQ(State.TransferBufferBase, nullptr);
    EXPECT_EQ(State.DialFlags, 0);
    EXPECT_EQ(State.DialConnection, 0u);
    EXPECT_EQ(State.BufferSize, 0x20000u);
}

TEST_F(Lifecycle, AutodialIsHungUpWithoutANumber)
{
    OpenSession();
    State.DialFlags = DIAL_BROUGHT_UP;
    RexxFeedback(FEEDBACK_END_OF_SCRIPT, 0);
    EXPECT_EQ(recording::CallsTo("InternetAutodialHangup").size(), 1u);
    EXPECT_TRUE(recording::CallsTo("InternetHangUp").empty());
}

TEST_F(Lifecycle, AFailedSessionCloseIsReportedAndTriedAgain)
{
    OpenSession();
    Connect("a");
    State.DialFlags = DIAL_BROUGHT_UP;
    ASSERT_NE(State.TransferBufferBase = VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_READWRITE), nullptr);
    HINTERNET session = State.SessionHandle;
    recording::FailNext("InternetCloseHandle", ERROR_INTERNET_INTERNAL_ERROR, 1); // the node closes, the session not

    CallOutcome o = Call(InetClose);
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_EQ(Result(o), "An internal error occurred in the Microsoft Internet extensions\r\n");
    EXPECT_EQ(State.SessionHandle, session);
    EXPECT_EQ(State.HandleList, nullptr);
    EXPECT_EQ(State.DialFlags, DIAL_BROUGHT_UP);
    EXPECT_NE(State.TransferBufferBase, nullptr);

    EXPECT_EQ(Call(InetClose).errorCode, 0u);
    EXPECT_EQ(recording::CallsTo("InternetAutodialHangup").size(), 2u); // hung up again
    EXPECT_EQ(State.SessionHandle, nullptr);
    EXPECT_EQ(State.TransferBufferBase, nullptr);
}

TEST_F(Lifecycle, AFailedSessionCloseWithoutResultSlotRunsToTheEnd)
{
    OpenSession();
    State.FindHandle = (HINTERNET)4243;
    recording::FailNext("InternetCloseHandle", ERROR_INTERNET_INTERNAL_ERROR);
    EXPECT_EQ(RexxFeedback(FEEDBACK_END_OF_SCRIPT, 0), 0u);
    EXPECT_EQ(State.SessionHandle, nullptr);
    EXPECT_EQ(State.FindHandle, nullptr);
    EXPECT_EQ(recording::CallsTo("InternetCloseHandle").size(), 2u);
    recording::Reset(); // the session handle is WinINet's loss, not the library's
}

TEST_F(Lifecycle, DetachTearsDownAnOpenSession)
{
    OpenSession();
    Connect("a");
    DllMain(instance, DLL_PROCESS_DETACH, (LPVOID)1);
    EXPECT_EQ(State.SessionHandle, nullptr);
    EXPECT_EQ(recording::CallsTo("InternetCloseHandle").size(), 2u);
}

TEST_F(Lifecycle, InetTimeDoesNothing)
{
    unsigned before = th::Calls(Service::GetArg) + th::Calls(Service::MakeString);
    CallOutcome o = Call(InetTime, {"x", "y"}, 17);
    EXPECT_EQ(o.errorCode, 0u);
    EXPECT_FALSE(o.result.has_value());
    EXPECT_EQ(o.slot.ErrorMode, 17);
    EXPECT_EQ(th::Calls(Service::GetArg) + th::Calls(Service::MakeString), before);
}

TEST(CompareNoCase, MatchesIgnoringCaseOverCountOnly)
{
    EXPECT_EQ(CompareNoCase("num", "NUM", 3), 0);
    EXPECT_EQ(CompareNoCase("Syntax", "SYNTAX", 6), 0);
    EXPECT_EQ(CompareNoCase("ERRORS", "ERROR!", 5), 0);
    EXPECT_NE(CompareNoCase("ERROR", "ERROS", 5), 0);
    EXPECT_EQ(CompareNoCase("a", "B", 1), (BYTE)('A' - 'B'));
    EXPECT_EQ(CompareNoCase("x", "y", 0), 0);
}

} // namespace

namespace {

TEST_F(Lifecycle, DetachAfterARefusedAttachTearsNothingDown)
{
    State.HostModule = nullptr; // what a refused attach leaves
    State.SessionHandle = (HINTERNET)99;
    DllMain(instance, DLL_PROCESS_DETACH, nullptr);
    EXPECT_TRUE(recording::Calls().empty());
    State.SessionHandle = nullptr;
}

} // namespace
