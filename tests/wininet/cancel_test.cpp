// CancelSynchronousIo from another thread ends a WinINet call that waits on
// the network at once, with ERROR_INTERNET_OPERATION_CANCELLED: a stalled
// connect, a response that never comes, a read, a PUT, an FTP login and an
// FTP file transfer, which leaves no local file.
#include "support.h"

#include <dirent.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using test::Internet;
using test::Servers;

namespace {

using Clock = std::chrono::steady_clock;

struct Ending {
    bool ok = true;
    DWORD error = 0;
    bool cancelled = false;           // CancelSynchronousIo found the wait
    Clock::duration afterCancel{};    // from the cancel to the call's return
};

// Runs `call` on a thread of its own, and cancels that thread's waits once
// the call has been waiting a while.
Ending CancelWhileWaiting(const std::function<BOOL()> &call)
{
    Ending e;
    std::atomic<DWORD> id{0};
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        id = GetCurrentThreadId();
        e.ok = call();
        e.error = e.ok ? 0 : GetLastError();
        returned = true;
    });
    while (!id)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    HANDLE thread = OpenThread(THREAD_TERMINATE, FALSE, id);
    Clock::time_point start = Clock::now();
    e.cancelled = thread && CancelSynchronousIo(thread);
    worker.join();
    e.afterCancel = Clock::now() - start;
    if (thread)
        CloseHandle(thread);
    return e;
}

void ExpectCancelled(const Ending &e, const std::string &what)
{
    EXPECT_TRUE(e.cancelled) << what << ": the call was not waiting";
    EXPECT_FALSE(e.ok) << what;
    EXPECT_EQ(e.error, static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED)) << what;
    EXPECT_LT(e.afterCancel, std::chrono::milliseconds(500)) << what;
}

std::vector<std::string> Entries(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *entry = readdir(d))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                names.emplace_back(entry->d_name);
        closedir(d);
    }
    return names;
}

class Cancel : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        session_.Reset(InternetOpenA("cancel-tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
        // Long enough that only the cancel can end a wait.
        DWORD minute = 60000;
        for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                             INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT})
            ASSERT_TRUE(InternetSetOptionA(session_.get(), option, &minute, sizeof minute));
    }
    HINTERNET session() const { return session_.get(); }

private:
    Internet session_;
};

TEST_F(Cancel, AStalledConnect)
{
    test::StalledPort stalled;
    std::string url = "http://127.0.0.1:" + std::to_string(stalled.Port()) + "/";
    ExpectCancelled(CancelWhileWaiting([&] {
                        Internet file(InternetOpenUrlA(session(), url.c_str(), nullptr, 0, 0, 0));
                        return file ? TRUE : FALSE;
                    }),
                    "connect");
}

TEST_F(Cancel, AResponseThatNeverComes)
{
    std::string url = Servers::Get().Fault("/stall");
    ExpectCancelled(CancelWhileWaiting([&] {
                        Internet file(InternetOpenUrlA(session(), url.c_str(), nullptr, 0, 0, 0));
                        return file ? TRUE : FALSE;
                    }),
                    "response head");
}

TEST_F(Cancel, AReadAndTheReadsAfterIt)
{
    Internet file(InternetOpenUrlA(session(), Servers::Get().Fault("/stall-body").c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(file) << GetLastError();
    std::string buffer(1 << 20, '\0');
    DWORD got = 0;
    ASSERT_TRUE(InternetReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got));
    ExpectCancelled(CancelWhileWaiting([&] {
                        return InternetReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got);
                    }),
                    "read");
    // The transfer is abandoned: later reads fail the same way, at once.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
    // The session is fine for the next request.
    EXPECT_TRUE(test::Fetch(session(), Servers::Get().Http("/hello.txt")).complete);
}

TEST_F(Cancel, APutThatIsNeverAnswered)
{
    Internet file(InternetOpenUrlA(session(), Servers::Get().Fault("/stall-put").c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(file) << GetLastError();
    std::string data(5000, 'x');
    DWORD written = 0;
    ExpectCancelled(CancelWhileWaiting([&] {
                        return InternetWriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &written);
                    }),
                    "PUT");
}

TEST_F(Cancel, AnFtpLoginAndAnFtpFileTransfer)
{
    INTERNET_PORT silent = static_cast<INTERNET_PORT>(Servers::Get().Port("FTP_FAULT_SILENT_PORT"));
    ExpectCancelled(CancelWhileWaiting([&] {
                        Internet c(InternetConnectA(session(), "127.0.0.1", silent, "unix.cancel", "any",
                                                    INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0));
                        return c ? TRUE : FALSE;
                    }),
                    "FTP greeting");

    INTERNET_PORT port = static_cast<INTERNET_PORT>(Servers::Get().Port("FTP_FAULT_PORT"));
    Internet c(InternetConnectA(session(), "127.0.0.1", port, "unix.cancel", "any", INTERNET_SERVICE_FTP,
                                INTERNET_FLAG_PASSIVE, 0));
    ASSERT_TRUE(c) << GetLastError();
    std::string files = UserDir() + "/files";
    ASSERT_EQ(mkdir(files.c_str(), 0755), 0);
    std::string target = files + "/stalled.bin";
    ExpectCancelled(CancelWhileWaiting([&] { return FtpGetFileA(c.get(), "stall-data.bin", target.c_str(), FALSE, 0, 0, 0); }),
                    "FTP download");
    EXPECT_TRUE(Entries(files).empty()) << "left behind: " << (Entries(files).empty() ? "" : Entries(files)[0]);
    // The connection still serves the next call.
    std::string hello = files + "/hello.txt";
    EXPECT_TRUE(FtpGetFileA(c.get(), "hello.txt", hello.c_str(), FALSE, 0, 0, 0)) << GetLastError();
    EXPECT_EQ(test::ReadFile(hello), "hello from the fault server\r\n");
}

}  // namespace
