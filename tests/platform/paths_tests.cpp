// The per-user folder, the drive table and the path mapping.
#include <platform/paths.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class Paths : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/paths_tests.XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root_ = name;
        user_ = root_ / "user";
        const char* old = getenv("PLATFORM_USER_DIR");
        had_ = old != nullptr;
        if (old) old_ = old;
        setenv("PLATFORM_USER_DIR", user_.c_str(), 1);
    }
    void TearDown() override {
        if (had_) setenv("PLATFORM_USER_DIR", old_.c_str(), 1);
        else unsetenv("PLATFORM_USER_DIR");
        fs::remove_all(root_);
    }
    void Drives(const std::string& table) {
        fs::create_directories(user_);
        std::ofstream(user_ / "drives") << table;
    }
    std::string Native(const std::string& path, DWORD expectedError = 0) {
        std::string out = "<unset>";
        EXPECT_EQ(platform::ToNativePath(path, out), expectedError) << path;
        return out;
    }
    std::string Windows(const std::string& path, DWORD expectedError = 0) {
        std::string out = "<unset>";
        EXPECT_EQ(platform::ToWindowsPath(path, out), expectedError) << path;
        return out;
    }

    fs::path root_, user_;
    bool had_ = false;
    std::string old_;
};

TEST_F(Paths, UserDirectoryIsCreatedOnDemand) {
    std::string dir;
    ASSERT_FALSE(fs::exists(user_));
    ASSERT_EQ(platform::UserDirectory(dir), 0u);
    EXPECT_EQ(dir, user_.string());
    struct stat st;
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    unsetenv("PLATFORM_USER_DIR");
    std::string home = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", root_.c_str(), 1);
    ASSERT_EQ(platform::UserDirectory(dir), 0u);
    EXPECT_EQ(dir, (root_ / ".brevanto-platform").string());
    setenv("HOME", home.c_str(), 1);

    std::ofstream(root_ / "file") << "x";
    setenv("PLATFORM_USER_DIR", (root_ / "file").c_str(), 1);
    EXPECT_EQ(platform::UserDirectory(dir), static_cast<DWORD>(ERROR_DIRECTORY));
}

TEST_F(Paths, DriveLettersMapThroughTheTable) {
    Drives("# drives of this user\nC=/srv\n\nd=/data/\nbad line\nE:/nope\n");
    EXPECT_EQ(Native("C:\\data\\report.csv"), "/srv/data/report.csv");
    EXPECT_EQ(Native("c:/data/report.csv"), "/srv/data/report.csv");
    EXPECT_EQ(Native("D:\\x"), "/data/x");
    EXPECT_EQ(Native("C:\\"), "/srv");
    EXPECT_EQ(Native("C:\\dir\\"), "/srv/dir/");
    EXPECT_EQ(Native("C:report.csv"), "/srv/report.csv");
    EXPECT_EQ(Native("Z:\\etc\\hosts"), "/etc/hosts");  // Z: is / by default
    Native("E:\\x", ERROR_INVALID_DRIVE);
    Native("Q:\\x", ERROR_INVALID_DRIVE);
}

TEST_F(Paths, DotDotNeverLeavesTheDrive) {
    Drives("C=/srv\n");
    EXPECT_EQ(Native("C:\\a\\..\\b\\.\\c"), "/srv/b/c");
    EXPECT_EQ(Native("C:\\..\\..\\etc\\passwd"), "/srv/etc/passwd");
    EXPECT_EQ(Native("C:\\a\\\\b"), "/srv/a/b");
}

TEST_F(Paths, RelativeAndLinuxPaths) {
    EXPECT_EQ(Native("sub\\file.txt"), "sub/file.txt");
    EXPECT_EQ(Native("..\\up"), "../up");
    EXPECT_EQ(Native("/usr/lib/x"), "/usr/lib/x");
    EXPECT_EQ(Native("plain.txt"), "plain.txt");
    // The top of the current drive: the current folder is on Z:, which is /.
    EXPECT_EQ(Native("\\etc\\hosts"), "/etc/hosts");
}

TEST_F(Paths, RefusedPaths) {
    Native("", ERROR_PATH_NOT_FOUND);
    Native("\\\\server\\share\\x", ERROR_BAD_PATHNAME);
    Native("\\\\.\\COM1", ERROR_BAD_PATHNAME);
}

TEST_F(Paths, ForbiddenCharactersAndLength) {
    Drives("C=/srv\n");
    Native("C:\\a<b", ERROR_INVALID_NAME);
    Native("C:\\a|b", ERROR_INVALID_NAME);
    Native("C:\\a:b", ERROR_INVALID_NAME);
    Native("C:\\" + std::string(300, 'a'), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(Native("\\\\?\\C:\\long\\x"), "/srv/long/x");
    Native(std::string("C:\\a\0b", 6), ERROR_INVALID_NAME);
}

TEST_F(Paths, WindowsFormTakesTheLongestMatchingFolder) {
    Drives("C=/srv\nD=/srv/data\n");
    EXPECT_EQ(Windows("/work/x"), "Z:\\work\\x");
    EXPECT_EQ(Windows("/srv/a/b"), "C:\\a\\b");
    EXPECT_EQ(Windows("/srv/data/r.csv"), "D:\\r.csv");
    EXPECT_EQ(Windows("/srv/database"), "C:\\database");  // a folder matches whole components only
    EXPECT_EQ(Windows("/srv/data"), "D:\\");
    EXPECT_EQ(Windows("/srv/./x/../y"), "C:\\y");
    EXPECT_EQ(Windows("/"), "Z:\\");
    // Round trip.
    EXPECT_EQ(Native(Windows("/srv/data/r.csv")), "/srv/data/r.csv");
    Windows("", ERROR_PATH_NOT_FOUND);

    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(Windows("rel"), Windows(std::string(cwd) + "/rel"));
}

TEST_F(Paths, ZCanBeRemapped) {
    Drives("Z=/home\n");
    EXPECT_EQ(Native("Z:\\u"), "/home/u");
    Windows("/etc", ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Windows("/home/u"), "Z:\\u");
}

}  // namespace
