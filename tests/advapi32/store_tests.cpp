// The registry file: its text form, its replacement when a writer dies part
// way, and readers running beside a writer in another process.
#include "registry_fixture.h"

#include "store.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

using namespace advapi32;

class Store : public RegistryTest {};

TEST_F(Store, TextFormRoundTripsAwkwardNamesAndEveryType) {
    Registry a;
    Key& top = a.roots[2];
    top.subkeys.push_back(std::make_unique<Key>());
    Key& k = *top.subkeys.back();
    k.name = "odd ]name% with\x01" "control";
    k.values.push_back({"", REG_SZ, {'d', 0}});
    k.values.push_back({"C:\\Tools\\\"quoted\"\n", REG_DWORD, {1, 0, 0, 0x80}});
    k.values.push_back({"bin", REG_BINARY, {}});
    k.values.push_back({"multi", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}});
    k.values.push_back({"unterminated", REG_SZ, {'a', 'b'}});
    k.values.push_back({"q", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}});
    k.subkeys.push_back(std::make_unique<Key>());
    k.subkeys.back()->name = "empty leaf";
    std::string text = Format(a);
    Registry b;
    ASSERT_EQ(Parse(text, b), ERROR_SUCCESS) << text;
    EXPECT_EQ(Format(b), text);
    Key* found = Find(b, {2, {"ODD ]NAME% WITH\x01" "CONTROL"}});
    ASSERT_NE(found, nullptr);
    ASSERT_EQ(found->values.size(), 6u);
    EXPECT_EQ(found->values[1].name, "C:\\Tools\\\"quoted\"\n");
    EXPECT_EQ(found->values[1].data, (std::vector<BYTE>{1, 0, 0, 0x80}));
    EXPECT_EQ(found->values[4].data, (std::vector<BYTE>{'a', 'b'}));
    EXPECT_NE(Find(b, {2, {k.name, "Empty Leaf"}}), nullptr);
}

TEST_F(Store, DamagedTextIsRefused) {
    const std::string header = "Windows Registry Editor Version 5.00\n";
    for (const std::string& bad : {
             std::string("REGEDIT4\n"),
             header + "\"x\"=dword:00000001\n",  // a value before any key
             header + "[HKEY_NOWHERE\\A]\n",
             header + "[HKEY_LOCAL_MACHINE\\A\n",
             header + "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dword:1\n",
             header + "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex:0,\n",
             header + "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex:00,\n",
             header + "[HKEY_LOCAL_MACHINE\\A]\n\"x=\"1\"\n",
             header + "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n\"X\"=\"2\"\n",  // one name twice
             header + "[HKEY_LOCAL_MACHINE\\A\\\\B]\n",
             header + "[HKEY_LOCAL_MACHINE\\%4]\n",
         }) {
        Registry r;
        EXPECT_EQ(Parse(bad, r), ERROR_BADDB) << bad;
    }
    Registry r;
    EXPECT_EQ(Parse("", r), ERROR_SUCCESS);
}

// A writer that dies part way (in a child, so the death is real) leaves the old file whole.
TEST_F(Store, AWriterDyingMidWriteLeavesTheOldFile) {
    const std::string before(5000, 'o'), after(9000, 'n');
    ASSERT_EQ(ReplaceFile(File(), before), ERROR_SUCCESS);
    for (size_t stop : {size_t{0}, size_t{1}, size_t{4096}, size_t{8999}}) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ReplaceFile(File(), after, [stop](int fd, const char* data, size_t) {
                WriteAll(fd, data, stop);
                _exit(9);  // as a crash would, without unwinding
                return true;
            });
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9);
        EXPECT_EQ(FileText(), before) << stop;
    }
    // The next writer replaces the leftover and the file.
    ASSERT_EQ(ReplaceFile(File(), after), ERROR_SUCCESS);
    EXPECT_EQ(FileText(), after);
    EXPECT_FALSE(std::filesystem::exists(File() + ".new"));
}

// A process writing through the API is killed at odd moments; each time the
// registry reads back whole, holding every value the writer had finished.
TEST_F(Store, KilledWritersNeverLeaveABrokenRegistry) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Crash", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    DWORD last = 0;
    for (int round = 0; round < 12; ++round) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            HKEY k = nullptr;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, "Crash", 0, KEY_ALL_ACCESS, &k)) _exit(2);
            std::vector<BYTE> bulk(64 * 1024, static_cast<BYTE>(round));
            for (DWORD n = 1;; ++n) {
                RegSetValueExA(k, "bulk", 0, REG_BINARY, bulk.data(), static_cast<DWORD>(bulk.size()));
                RegSetValueExA(k, "count", 0, REG_DWORD, reinterpret_cast<BYTE*>(&n), 4);
                if (n == 1 && write(ready[1], "r", 1) != 1) _exit(3);
            }
        }
        close(ready[1]);
        char c;
        ASSERT_EQ(read(ready[0], &c, 1), 1);
        close(ready[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(700 * (round % 6) + 97 * round));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        Registry r;
        ASSERT_EQ(Load(r), ERROR_SUCCESS) << "round " << round;
        Key* k = Find(r, {1, {"Crash"}});
        ASSERT_NE(k, nullptr);
        if (Value* v = k->FindValue("bulk")) {
            EXPECT_EQ(v->data.size(), 64u * 1024);
        }
        if (Value* v = k->FindValue("count")) {
            ASSERT_EQ(v->data.size(), 4u);
            DWORD n;
            memcpy(&n, v->data.data(), 4);
            EXPECT_GE(n, 1u);
            last = n;
        }
    }
    EXPECT_GT(last, 0u);
}

TEST_F(Store, ReadersBesideAWriterSeeWholeRegistries) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Shared", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    DWORD zero = 0;
    ASSERT_EQ(RegSetValueExA(key, "count", 0, REG_DWORD, reinterpret_cast<BYTE*>(&zero), 4), ERROR_SUCCESS);
    constexpr DWORD kWrites = 150;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (DWORD n = 1; n <= kWrites; ++n)
            if (RegSetValueExA(key, "count", 0, REG_DWORD, reinterpret_cast<BYTE*>(&n), 4)) _exit(1);
        _exit(0);
    }
    DWORD previous = 0, reads = 0;
    bool done = false;
    while (!done) {
        int status = 0;
        done = waitpid(child, &status, WNOHANG) == child;
        DWORD n = 0, size = 4;
        ASSERT_EQ(RegQueryValueExA(key, "count", nullptr, nullptr, reinterpret_cast<BYTE*>(&n), &size), ERROR_SUCCESS);
        EXPECT_GE(n, previous);
        previous = n;
        ++reads;
        if (done) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
    }
    EXPECT_EQ(previous, kWrites);
    EXPECT_GT(reads, 1u);
    RegCloseKey(key);
}

}  // namespace
