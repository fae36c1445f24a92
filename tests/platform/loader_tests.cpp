// LoadLibraryA, FreeLibrary, GetModuleHandleA, GetProcAddress,
// DisableThreadLibraryCalls and GetModuleFileNameA, with modules whose entry
// points record their notices in eventlog.dll.
#include <windows.h>
#include <platform/paths.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "eventlog.h"
#include "test_support.h"

namespace {

bool StillMapped(const char* file) {
    std::string path = TestFolder() + "/" + file;
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

class Loader : public ::testing::Test {
  protected:
    void SetUp() override { TakeEvents(); }
};

TEST_F(Loader, AttachOnceAndDetachAtTheLastFree) {
    SetLastError(0xdeadbeef);
    HMODULE a = LoadLibraryA("greeter");
    ASSERT_NE(a, nullptr) << GetLastError();
    EXPECT_STREQ(TakeEvents(), "greeter:1:0;");
    // The handle is the module's ELF header.
    EXPECT_EQ(memcmp(a, "\177ELF", 4), 0);
    HMODULE b = LoadLibraryA("GREETER.DLL");  // file names match without regard to case
    EXPECT_EQ(a, b);
    EXPECT_STREQ(TakeEvents(), "");  // no second attach

    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_STREQ(TakeEvents(), "");
    EXPECT_TRUE(StillMapped("greeter.dll"));
    EXPECT_TRUE(FreeLibrary(b));
    EXPECT_STREQ(TakeEvents(), "greeter:0:0;");
    EXPECT_FALSE(StillMapped("greeter.dll"));
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FreeLibrary(a));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(Loader, RefusedAttachIsDetachedAndUnloaded) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryA("refuser.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_STREQ(TakeEvents(), "refuser:1:0;refuser:0:0;");
    EXPECT_FALSE(StillMapped("refuser.dll"));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetModuleHandleA("refuser"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(Loader, ModuleWithoutEntryPoint) {
    HMODULE m = LoadLibraryA("noentry");
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(TakeEvents(), "");
    EXPECT_TRUE(FreeLibrary(m));
    EXPECT_STREQ(TakeEvents(), "");
}

TEST_F(Loader, LinuxLibrariesLoadWithoutAnEntryCall) {
    // libc's e_entry starts it as a program; it must not be taken for a DllMain.
    HMODULE libc = LoadLibraryA("libc.so.6");
    ASSERT_NE(libc, nullptr);
    EXPECT_NE(GetProcAddress(libc, "strlen"), nullptr);
    EXPECT_TRUE(FreeLibrary(libc));
}

TEST_F(Loader, NamesPathsAndFailures) {
    // A Windows path, as the drive table maps it.
    std::string windows;
    ASSERT_EQ(platform::ToWindowsPath(TestFolder() + "/greeter.dll", windows), 0u);
    HMODULE m = LoadLibraryA(windows.c_str());
    ASSERT_NE(m, nullptr) << windows;
    EXPECT_EQ(LoadLibraryA((TestFolder() + "/greeter").c_str()), m);  // ".dll" added to a path too
    EXPECT_TRUE(FreeLibrary(m));
    EXPECT_TRUE(FreeLibrary(m));
    TakeEvents();

    struct {
        const char* name;
        DWORD error;
    } cases[] = {
        {"nosuchmodule", ERROR_MOD_NOT_FOUND},
        {"greeter.", ERROR_MOD_NOT_FOUND},  // the trailing dot forbids the ".dll"
        {"Q:\\nowhere\\greeter.dll", ERROR_MOD_NOT_FOUND},
        {"", ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(LoadLibraryA(c.name), nullptr) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }

    char dir[] = "/tmp/loader_tests.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string junk = std::string(dir) + "/junk.dll";
    std::ofstream(junk) << "not an image";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryA(junk.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    remove(junk.c_str());
    rmdir(dir);
}

TEST_F(Loader, GetModuleHandleFindsWhatIsInTheProcess) {
    // eventlog.dll came with the program, through the dynamic linker.
    HMODULE linked = GetModuleHandleA("eventlog.dll");
    ASSERT_NE(linked, nullptr);
    EXPECT_EQ(GetModuleHandleA("EVENTLOG"), linked);
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&LogEvent), &info);
    EXPECT_EQ(linked, info.dli_fbase);
    EXPECT_NE(GetModuleHandleA("Kernel32.DLL"), nullptr);

    dladdr(reinterpret_cast<void*>(&TestFolder), &info);
    EXPECT_EQ(GetModuleHandleA(nullptr), info.dli_fbase);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetModuleHandleA("nosuch.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    // Loaded modules are found too, and finding them changes no count.
    HMODULE m = LoadLibraryA("greeter");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(GetModuleHandleA("greeter"), m);
    EXPECT_TRUE(FreeLibrary(m));
    EXPECT_STREQ(TakeEvents(), "greeter:1:0;greeter:0:0;");
    EXPECT_EQ(GetModuleHandleA("greeter"), nullptr);
}

TEST_F(Loader, GetProcAddressSeesOnlyTheModulesOwnExports) {
    HMODULE m = LoadLibraryA("greeter");
    ASSERT_NE(m, nullptr);
    auto greet = reinterpret_cast<int (*)()>(reinterpret_cast<void*>(GetProcAddress(m, "Greet")));
    ASSERT_NE(greet, nullptr);
    EXPECT_EQ(greet(), 7);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(m, "LogEvent"), nullptr);  // eventlog.dll's, a dependency
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(m, "Missing"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(m, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(m));

    // A module the dynamic linker mapped.
    HMODULE log = GetModuleHandleA("eventlog");
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(log, "LogEvent")), reinterpret_cast<void*>(&LogEvent));
    int garbage = 0;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetProcAddress(reinterpret_cast<HMODULE>(&garbage), "LogEvent"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    TakeEvents();
}

TEST_F(Loader, DisableThreadLibraryCallsNeedsAModule) {
    HMODULE m = LoadLibraryA("greeter");
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(DisableThreadLibraryCalls(m));
    EXPECT_TRUE(DisableThreadLibraryCalls(GetModuleHandleA("eventlog")));
    int garbage = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DisableThreadLibraryCalls(reinterpret_cast<HMODULE>(&garbage)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(FreeLibrary(m));
}

TEST_F(Loader, ModuleFileNameInWindowsFormAndTruncation) {
    HMODULE m = LoadLibraryA("greeter");
    ASSERT_NE(m, nullptr);
    std::string expected;
    ASSERT_EQ(platform::ToWindowsPath(TestFolder() + "/greeter.dll", expected), 0u);
    ASSERT_EQ(expected.rfind("Z:\\", 0), 0u);
    const DWORD length = static_cast<DWORD>(expected.size());
    char buffer[MAX_PATH * 4];

    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetModuleFileNameA(m, buffer, sizeof buffer), length);
    EXPECT_EQ(buffer, expected);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    EXPECT_EQ(GetModuleFileNameA(m, buffer, length + 1), length);  // exact
    EXPECT_EQ(buffer, expected);
    memset(buffer, 'x', sizeof buffer);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetModuleFileNameA(m, buffer, length), length);  // one short: truncated and terminated
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(buffer), expected.substr(0, length - 1));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetModuleFileNameA(m, buffer, 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_TRUE(FreeLibrary(m));

    int garbage = 0;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(&garbage), buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_GT(GetModuleFileNameA(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_NE(std::string(buffer).find("platform_tests"), std::string::npos);
    TakeEvents();
}

TEST_F(Loader, ModulesStillLoadedHearOfTheExitLastFirst) {
    FILE* child = popen(EXIT_PROBE_PATH, "r");
    ASSERT_NE(child, nullptr);
    std::string output;
    char chunk[256];
    while (size_t n = fread(chunk, 1, sizeof chunk, child)) output.append(chunk, n);
    int status = pclose(child);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output, "greeter:1:0;quiet:1:0;quiet:0:1;greeter:0:1;");
}

}  // namespace
