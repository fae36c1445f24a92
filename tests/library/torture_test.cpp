// Torture loops, as curl's torture mode and SQLite's fault loops run them.
//
// Each scenario runs once cleanly, counting every host service call that can
// fail and every allocation of the library; then once for each of them, with
// that one failing as the interpreter or the system out of memory would. A
// run must end either exactly as the clean one did (outcome, variables, list
// and WinINet calls: the failure cost nothing) or with the documented error
// for a lack of memory: REXX error 5, or the system's text for it where a
// memory failure is reported through INETERR. And it must leave nothing
// behind: no host copy or string, no list node, no WinINet handle, no host
// error.
#include "fixture.h"

#include <array>
#include <map>
#include <regex>
#include <sstream>

namespace {

enum class Point { GetArgCopy, MakeString, KeywordCopy, GetVar, SetVar, GlobalAlloc, Reserve, Commit };
constexpr Point kPoints[] = {Point::GetArgCopy, Point::MakeString,  Point::KeywordCopy, Point::GetVar,
                             Point::SetVar,     Point::GlobalAlloc, Point::Reserve,     Point::Commit};
constexpr std::size_t kPointCount = std::size(kPoints);

const char *NameOf(Point p)
{
    static const char *const names[] = {"GetArgCopy", "MakeString", "KeywordCopy", "GetVar",
                                        "SetVar",     "GlobalAlloc", "VirtualAlloc(reserve)", "VirtualAlloc(commit)"};
    return names[static_cast<std::size_t>(p)];
}

Service ServiceOf(Point p)
{
    switch (p) {
    case Point::GetArgCopy:
        return Service::GetArgCopy;
    case Point::MakeString:
        return Service::MakeString;
    case Point::KeywordCopy:
        return Service::KeywordCopy;
    case Point::GetVar:
        return Service::GetVar;
    default:
        return Service::SetVar;
    }
}

unsigned Count(Point p)
{
    switch (p) {
    case Point::GlobalAlloc:
        return faults::GlobalAllocCalls();
    case Point::Reserve:
        return faults::VirtualAllocCalls(MEM_RESERVE);
    case Point::Commit:
        return faults::VirtualAllocCalls(MEM_COMMIT);
    default:
        return th::Calls(ServiceOf(p));
    }
}

void Fail(Point p, unsigned nth)
{
    switch (p) {
    case Point::GlobalAlloc:
        faults::FailGlobalAlloc(nth);
        break;
    case Point::Reserve:
        faults::FailVirtualAlloc(nth, MEM_RESERVE);
        break;
    case Point::Commit:
        faults::FailVirtualAlloc(nth, MEM_COMMIT);
        break;
    default:
        th::FailNth(ServiceOf(p), nth, HOST_REASON_NO_MEMORY);
    }
}

// ---- what a scenario sets up before the call under test ----

CallOutcome Run(HANDLERPROC handler, const Args &args) { return th::Call(handler, args); }

void Session() { Run(InetOpen, {}); }

void Http()
{
    Session();
    Run(InetConnect, {"C", "server", "HTTP"});
}

void Ftp()
{
    Session();
    Run(InetConnect, {"F", "ftp.example.org", "FTP", "anna", "secret"});
}

void UrlWithData()
{
    Session();
    recording::SetReadData(std::string(10000, 'd'));
    Run(InetConnectUrl, {"http://server/data", "U"});
}

void TwoConnections()
{
    Http();
    Run(InetConnect, {"G", "gopher.example.org", "GOPHER"});
}

void FtpListing()
{
    Ftp();
    recording::SetFindEntries({{"a.txt", 10}, {"b.txt", 20}, {"sub", 0, FILE_ATTRIBUTE_DIRECTORY}});
}

void FtpListingStarted()
{
    FtpListing();
    Run(InetMatchName, {"M", "*"});
}

void Offline()
{
    recording::SetConnectedState(INTERNET_CONNECTION_OFFLINE);
}

void Cookies() { recording::SetCookieData("n1=v1; n2=v2"); }

void Reporting()
{
    // A failure reported through INETERR and INETHEADING: every lookup they take.
    Http();
    th::SetVariable("INETERR", "ERROR");
    th::SetVariable("INETHEADING", "1");
    recording::FailNext("InternetReadFile", ERROR_INTERNET_CONNECTION_RESET);
}

void ReportThroughIneterr(const char *ineterr)
{
    th::SetVariable("INETERR", ineterr);
    th::SetVariable("INETHEADING", "1");
}

void ReportAsError() { ReportThroughIneterr("ERROR"); }

void ReportAsNumber() { ReportThroughIneterr("num"); }

void ReportBadIneterr() { ReportThroughIneterr("SOMETIMES"); }

void DownloadFailing()
{
    Session();
    ReportAsError();
    recording::FailNext("InternetReadFile", ERROR_INTERNET_CONNECTION_RESET);
}

void NoSetUp() {}

struct Scenario {
    const char *name;
    void (*prepare)();
    HANDLERPROC handler;
    Args args;
};

void PrintTo(const Scenario &s, std::ostream *os) { *os << s.name; }

// Every handler, in the forms that take different paths through it.
const Scenario kScenarios[] = {
    {"OpenPlain", NoSetUp, InetOpen, {}},
    {"OpenWithEverything", NoSetUp, InetOpen, {"ASYNC OFFLINE", "PROXY", "agent/1", "proxy:3128", "<local>"}},
    {"OpenRejectedKeyword", NoSetUp, InetOpen, {"SOON"}},
    {"CloseOne", TwoConnections, InetClose, {"C"}},
    {"CloseAll", TwoConnections, InetClose, {}},
    {"ConnectHttp", Session, InetConnect, {"C", "server", "HTTP", "", "", "8080"}},
    {"ConnectFtp", Session, InetConnect, {"F", "ftp.example.org", "FTP", "anna", "secret", "21", "ACTIVE"}},
    {"ConnectSwitch", TwoConnections, InetConnect, {"C"}},
    {"ConnectRejectedKeyword", Session, InetConnect, {"C", "server", "TELNET"}},
    {"ConnectFailing", Reporting, InetConnect, {"X", "nowhere.invalid"}},
    {"ConnectUrl", Session, InetConnectUrl, {"http://server/", "U", "RELOAD", "X-A: 1"}},
    {"Download", UrlWithData, InetConnectUrl, {"http://server/data", "D", "DOWNLOAD"}},
    {"Upload", Session, InetConnectUrl, {"http://server/up", "some data", "UPLOAD"}},
    {"ReadWhole", UrlWithData, InetIn, {"D"}},
    {"ReadCount", UrlWithData, InetIn, {"D", "FULL", "4000"}},
    {"ReadAndFree", UrlWithData, InetIn, {"D", "FREE"}},
    {"ReadFailingReported", Reporting, InetIn, {"D"}},
    {"NoServerAsError", ReportAsError, InetIn, {"D"}},
    {"NoServerAsNumber", ReportAsNumber, InetOut, {"x"}},
    {"NoSessionBadIneterr", ReportBadIneterr, InetConnect, {"C", "s"}},
    {"DownloadFailingReported", DownloadFailing, InetConnectUrl, {"http://server/", "D", "DOWNLOAD"}},
    {"Write", UrlWithData, InetOut, {"data", "FREE"}},
    {"MaxInQuery", NoSetUp, InetMaxIn, {}},
    {"MaxInSet", NoSetUp, InetMaxIn, {"65536"}},
    {"DirGet", Ftp, InetDir, {"CWD", "GET"}},
    {"DirSet", Ftp, InetDir, {"pub"}},
    {"FileDownload", Ftp, InetFile, {"pub/readme.txt", "", "TEXT RELOAD", "0"}},
    {"FileUpload", Ftp, InetFile, {"local.txt", "remote.txt", "UPLOAD"}},
    {"Rename", Ftp, InetRename, {"a.txt", "b.txt"}},
    {"Delete", Ftp, InetDelete, {"a.txt"}},
    {"MatchFirst", FtpListing, InetMatchName, {"M", "*.txt"}},
    {"MatchNext", FtpListingStarted, InetMatchName, {"M."}},
    {"CookieRead", Cookies, InetCookie, {"http://server/", "", "JAR"}},
    {"CookieReadNamed", Cookies, InetCookie, {"http://server/", "n1", "JAR"}},
    {"CookieSet", NoSetUp, InetCookie, {"http://server/", "n", "v; path=/", "SET"}},
    {"OptionSet", Http, InetOption, {"RECEIVE", "5000"}},
    {"OptionQuery", Http, InetOption, {"RECEIVE", "T", "q"}},
    {"OptionQueryPair", Http, InetOption, {"VERSION", "V.", "q"}},
    {"OptionProxy", Session, InetOption, {"PROXY", "P.", "q"}},
    {"Dial", Offline, InetDial, {"", "", "office"}},
    {"DialAuto", Offline, InetDial, {}},
    {"HangUp", NoSetUp, InetDial, {"HANGUP", "", "23"}},
    {"Time", NoSetUp, InetTime, {"x", "y"}},
};

// What a run leaves behind, handle values by their place in the list (their
// numbers differ from run to run: freed addresses are not handed out again).
struct Snapshot {
    DWORD errorCode = 0;
    LONG errorMode = 0;
    std::optional<std::string> text;
    std::map<std::string, std::string> variables;
    std::vector<std::string> calls;
    std::size_t listed = 0;
    std::array<unsigned, kPointCount> counts{};

    bool SameAs(const Snapshot &o) const
    {
        return errorCode == o.errorCode && errorMode == o.errorMode && text == o.text && variables == o.variables &&
               calls == o.calls && listed == o.listed;
    }

    std::string Describe() const
    {
        std::ostringstream out;
        out << "error 0x" << std::hex << errorCode << std::dec << ", mode " << errorMode << ", result "
            << (text ? "\"" + *text + "\"" : "none") << ", " << listed << " listed, variables";
        for (const auto &[name, value] : variables)
            out << " " << name << "=" << value.substr(0, 40);
        out << ", WinINet";
        for (const std::string &call : calls)
            out << " " << call;
        return out.str();
    }
};

class Torture : public testing::TestWithParam<Scenario> {
protected:
    void TearDown() override { th::Reset(); }

    // One run, with the nth call of point failing (nth 0: none).
    Snapshot RunOnce(Point point, unsigned nth)
    {
        th::Reset();
        EXPECT_EQ(RexxGetHalvorinFuncs(&host_, sizeof host_, HOST_INTERFACE_LEVEL), 0u);
        recording::Reset();
        faults::Reset();
        HINSTANCE instance = GetModuleHandleA(nullptr);
        EXPECT_TRUE(DllMain(instance, DLL_PROCESS_ATTACH, nullptr));
        const Scenario &s = GetParam();
        s.prepare();
        std::size_t before = recording::Calls().size();
        std::array<unsigned, kPointCount> start{};
        for (std::size_t i = 0; i < kPointCount; i++)
            start[i] = Count(kPoints[i]);
        if (nth)
            Fail(point, nth);

        CallOutcome o = th::Call(s.handler, s.args);

        Snapshot snap;
        for (std::size_t i = 0; i < kPointCount; i++)
            snap.counts[i] = Count(kPoints[i]) - start[i];
        snap.errorCode = o.errorCode;
        snap.errorMode = o.slot.ErrorMode;
        snap.text = o.result;
        std::map<ULONG_PTR, std::string> places;
        for (HandleNode *node = State.HandleList; node; node = node->Next)
            places[(ULONG_PTR)node] = "<node " + std::to_string(snap.listed++) + ">";
        for (auto [name, value] : th::Variables()) {
            for (const auto &[address, place] : places)
                if (value == std::to_string(address))
                    value = place;
            snap.variables[name] = value;
        }
        // The recording WinINet numbers its handles on across runs: by rank instead.
        std::vector<recording::Call> calls = recording::Calls();
        std::map<unsigned long, std::string> ranks;
        static const std::regex handle("\\bh([0-9]+)\\b");
        for (const recording::Call &call : calls) {
            std::string text = call.Text();
            for (std::sregex_iterator m(text.begin(), text.end(), handle), end; m != end; ++m)
                ranks.emplace(std::stoul((*m)[1]), "");
        }
        unsigned next = 0;
        for (auto &[number, rank] : ranks)
            rank = "h#" + std::to_string(next++);
        for (std::size_t i = before; i < calls.size(); i++) {
            std::string text = calls[i].Text(), out;
            std::size_t last = 0;
            for (std::sregex_iterator m(text.begin(), text.end(), handle), end; m != end; ++m) {
                out += text.substr(last, m->position() - last) + ranks[std::stoul((*m)[1])];
                last = m->position() + m->length();
            }
            snap.calls.push_back(out + text.substr(last));
        }

        RexxFeedback(FEEDBACK_END_OF_SCRIPT, 0);
        DllMain(instance, DLL_PROCESS_DETACH, nullptr);
        std::string where = std::string(GetParam().name) + (nth ? std::string(", ") + NameOf(point) + " #" +
                                                                       std::to_string(nth) + " failing"
                                                                 : std::string(", clean run"));
        for (const th::HostError &e : th::TakeHostErrors())
            ADD_FAILURE() << where << ": host error in " << th::Describe(e);
        EXPECT_EQ(th::OutstandingCopies(), 0u) << where << ": copies not freed";
        EXPECT_EQ(th::OutstandingStrings(), 0u) << where << ": strings neither handed over nor freed";
        EXPECT_EQ(faults::LiveBlocks(), 0u) << where << ": list nodes not released";
        EXPECT_EQ(recording::OpenHandles(), 0u) << where << ": WinINet handles left open";
        return snap;
    }

    HOSTSERVICES host_{};
};

bool ReportsLackOfMemory(const Snapshot &s)
{
    if (s.errorCode == REXX_ERROR_RESOURCES)
        return true;
    // A refused commit is reported with the system's text, through INETERR.
    return IS_REPORT_CODE(s.errorCode) && s.text &&
           s.text->find("Not enough memory resources are available") != std::string::npos;
}

// A keyword that is rejected is shown even when its copy cannot be made: as
// an empty word (the host's static marker), with the same error.
bool RejectionShownEmpty(Point point, const Snapshot &run, const Snapshot &clean)
{
    return point == Point::KeywordCopy && run.errorCode == clean.errorCode && run.text == std::string();
}

TEST_P(Torture, EveryFailureEndsInTheDocumentedErrorAndLeavesNothing)
{
    Snapshot clean = RunOnce(Point::GetVar, 0);
    unsigned runs = 0;
    for (std::size_t i = 0; i < kPointCount; i++) {
        Point point = kPoints[i];
        for (unsigned nth = 1; nth <= clean.counts[i]; nth++) {
            Snapshot run = RunOnce(point, nth);
            runs++;
            EXPECT_TRUE(run.SameAs(clean) || ReportsLackOfMemory(run) || RejectionShownEmpty(point, run, clean))
                << GetParam().name << ", " << NameOf(point) << " #" << nth << " failing:\n  got   "
                << run.Describe() << "\n  clean " << clean.Describe();
        }
    }
    RecordProperty("failure_points", static_cast<int>(runs));
}

INSTANTIATE_TEST_SUITE_P(Handlers, Torture, testing::ValuesIn(kScenarios),
                         [](const testing::TestParamInfo<Scenario> &info) { return std::string(info.param.name); });

} // namespace
