// The FTP text parsers: listing lines in the three forms, damaged lines,
// 257 and FEAT replies, name patterns, and the find record.
#include "ftp_listing.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <string>

using wininet::FtpEntry;
using wininet::LineResult;
using wininet::ListingClock;

namespace {

static_assert(sizeof(FILETIME) == 8);
static_assert(sizeof(WIN32_FIND_DATAA) == 320);
static_assert(offsetof(WIN32_FIND_DATAA, ftCreationTime) == 4);
static_assert(offsetof(WIN32_FIND_DATAA, ftLastWriteTime) == 20);
static_assert(offsetof(WIN32_FIND_DATAA, nFileSizeHigh) == 28);
static_assert(offsetof(WIN32_FIND_DATAA, nFileSizeLow) == 32);
static_assert(offsetof(WIN32_FIND_DATAA, cFileName) == 44);
static_assert(offsetof(WIN32_FIND_DATAA, cAlternateFileName) == 304);

const ListingClock kClock{2021, 6, 15};

std::uint64_t Ticks(const FILETIME &t) { return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

std::uint64_t TicksOf(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    FILETIME t;
    EXPECT_TRUE(wininet::ToFileTime(y, mo, d, h, mi, s, ms, t));
    return Ticks(t);
}

TEST(FtpFileTime, KnownInstants)
{
    FILETIME t;
    ASSERT_TRUE(wininet::ToFileTime(1601, 1, 1, 0, 0, 0, 0, t));
    EXPECT_EQ(Ticks(t), 0u);
    // The Unix epoch is 11644473600 seconds after 1601.
    ASSERT_TRUE(wininet::ToFileTime(1970, 1, 1, 0, 0, 0, 0, t));
    EXPECT_EQ(Ticks(t), 116444736000000000ull);
    ASSERT_TRUE(wininet::ToFileTime(2000, 2, 29, 23, 59, 59, 999, t));
    EXPECT_EQ(Ticks(t), 116444736000000000ull + (951868799ull * 1000 + 999) * 10000);
    ASSERT_TRUE(wininet::ToFileTime(30827, 12, 31, 23, 59, 59, 999, t));
}

TEST(FtpFileTime, RefusesWhatIsNoDate)
{
    FILETIME t;
    EXPECT_FALSE(wininet::ToFileTime(1600, 12, 31, 0, 0, 0, 0, t));
    EXPECT_FALSE(wininet::ToFileTime(30828, 1, 1, 0, 0, 0, 0, t));
    EXPECT_FALSE(wininet::ToFileTime(2021, 2, 29, 0, 0, 0, 0, t));
    EXPECT_FALSE(wininet::ToFileTime(1900, 2, 29, 0, 0, 0, 0, t));
    EXPECT_FALSE(wininet::ToFileTime(2021, 13, 1, 0, 0, 0, 0, t));
    EXPECT_FALSE(wininet::ToFileTime(2021, 4, 31, 0, 0, 0, 0, t));
    EXPECT_FALSE(wininet::ToFileTime(2021, 1, 1, 24, 0, 0, 0, t));
    EXPECT_FALSE(wininet::ToFileTime(2021, 1, 1, 0, 60, 0, 0, t));
    EXPECT_FALSE(wininet::ToFileTime(2021, 1, 1, 0, 0, 0, 1000, t));
}

TEST(FtpMlsd, FilesAndDirectories)
{
    FtpEntry e;
    ASSERT_EQ(wininet::ParseMlsdLine("type=file;size=1234;modify=20210304123000; alpha.txt\r\n", e), LineResult::Entry);
    EXPECT_EQ(e.name, "alpha.txt");
    EXPECT_FALSE(e.directory);
    EXPECT_EQ(e.size, 1234u);
    ASSERT_TRUE(e.hasTime);
    EXPECT_EQ(Ticks(e.time), TicksOf(2021, 3, 4, 12, 30, 0));

    ASSERT_EQ(wininet::ParseMlsdLine("Type=DIR;Sizd=4096;Modify=20200115090500.25; beta", e), LineResult::Entry);
    EXPECT_EQ(e.name, "beta");
    EXPECT_TRUE(e.directory);
    EXPECT_EQ(e.size, 0u);
    EXPECT_EQ(Ticks(e.time), TicksOf(2020, 1, 15, 9, 5, 0, 250));

    // Spaces and semicolons belong to the name after the first space.
    ASSERT_EQ(wininet::ParseMlsdLine("type=file;size=5000000000; gamma name; with semicolon.bin", e),
              LineResult::Entry);
    EXPECT_EQ(e.name, "gamma name; with semicolon.bin");
    EXPECT_EQ(e.size, 5000000000ull);
    EXPECT_FALSE(e.hasTime);

    ASSERT_EQ(wininet::ParseMlsdLine("type=OS.unix=slink:/etc;size=4; link", e), LineResult::Entry);
    EXPECT_FALSE(e.directory);
    ASSERT_EQ(wininet::ParseMlsdLine(" no-facts", e), LineResult::Entry);
    EXPECT_EQ(e.name, "no-facts");
}

TEST(FtpMlsd, SkipsAndRefuses)
{
    FtpEntry e;
    e.name = "untouched";
    EXPECT_EQ(wininet::ParseMlsdLine("type=cdir;modify=20210304123000; .", e), LineResult::Skip);
    EXPECT_EQ(wininet::ParseMlsdLine("type=pdir; ..", e), LineResult::Skip);
    EXPECT_EQ(wininet::ParseMlsdLine("type=file; ..", e), LineResult::Skip);
    for (const char *line : {"", "garbage-without-a-space", "type=file;size=abc; bad-size", "type=file;modify=2021; t",
                             "type=file;modify=20211304123000; month", "broken;facts; x", "=v; x",
                             "type=file;size=1;", "type=file;size=99999999999999999999999; big",
                             "type=file;modify=20210304123000.; dot"}) {
        EXPECT_EQ(wininet::ParseMlsdLine(line, e), LineResult::Malformed) << line;
    }
    EXPECT_EQ(e.name, "untouched");
}

TEST(FtpList, UnixForms)
{
    FtpEntry e;
    ASSERT_EQ(wininet::ParseListLine("-rw-r--r--   1 ftp      ftp          1234 Mar 04 12:30 alpha.txt", kClock, e),
              LineResult::Entry);
    EXPECT_EQ(e.name, "alpha.txt");
    EXPECT_EQ(e.size, 1234u);
    EXPECT_FALSE(e.directory);
    EXPECT_EQ(Ticks(e.time), TicksOf(2021, 3, 4, 12, 30, 0));

    // No year: a date after today (plus a day's grace) belongs to last year.
    ASSERT_EQ(wininet::ParseListLine("-rw-r--r-- 1 a b 1 Jun 16 08:00 grace", kClock, e), LineResult::Entry);
    EXPECT_EQ(Ticks(e.time), TicksOf(2021, 6, 16, 8, 0, 0));
    ASSERT_EQ(wininet::ParseListLine("-rw-r--r-- 1 a b 1 Jun 17 08:00 last-year", kClock, e), LineResult::Entry);
    EXPECT_EQ(Ticks(e.time), TicksOf(2020, 6, 17, 8, 0, 0));

    ASSERT_EQ(wininet::ParseListLine("drwxr-xr-x    2 0        0            4096 Jan 15  2020 beta", kClock, e),
              LineResult::Entry);
    EXPECT_TRUE(e.directory);
    EXPECT_EQ(e.size, 0u);
    EXPECT_EQ(Ticks(e.time), TicksOf(2020, 1, 15, 0, 0, 0));

    ASSERT_EQ(wininet::ParseListLine("lrwxrwxrwx 1 ftp ftp 9 Mar 04 12:30 gamma.lnk -> alpha.txt", kClock, e),
              LineResult::Entry);
    EXPECT_EQ(e.name, "gamma.lnk");
    EXPECT_EQ(e.size, 9u);

    // No group, an owner named like a month, spaces inside the name.
    ASSERT_EQ(wininet::ParseListLine("-rw-r--r-- 1 jan 5000000000 Dec 31 2019 huge name  x.bin", kClock, e),
              LineResult::Entry);
    EXPECT_EQ(e.name, "huge name  x.bin");
    EXPECT_EQ(e.size, 5000000000ull);
    ASSERT_EQ(wininet::ParseListLine("-rw-r--r--+ 1 a b 3 Mar 04 12:30  lead", kClock, e), LineResult::Entry);
    EXPECT_EQ(e.name, " lead");
}

TEST(FtpList, DosForms)
{
    FtpEntry e;
    ASSERT_EQ(wininet::ParseListLine("03-04-21  12:30PM                 1234 alpha.txt", kClock, e), LineResult::Entry);
    EXPECT_EQ(e.name, "alpha.txt");
    EXPECT_EQ(e.size, 1234u);
    EXPECT_EQ(Ticks(e.time), TicksOf(2021, 3, 4, 12, 30, 0));
    ASSERT_EQ(wininet::ParseListLine("01-15-20  12:05AM       <DIR>          beta", kClock, e), LineResult::Entry);
    EXPECT_TRUE(e.directory);
    EXPECT_EQ(Ticks(e.time), TicksOf(2020, 1, 15, 0, 5, 0));
    ASSERT_EQ(wininet::ParseListLine("12-31-2019  23:59           5000000000 gamma name.bin", kClock, e),
              LineResult::Entry);
    EXPECT_EQ(e.name, "gamma name.bin");
    EXPECT_EQ(e.size, 5000000000ull);
    EXPECT_EQ(Ticks(e.time), TicksOf(2019, 12, 31, 23, 59, 0));
    ASSERT_EQ(wininet::ParseListLine("07/04/99  01:02 PM     10 sep.txt", kClock, e), LineResult::Entry);
    EXPECT_EQ(Ticks(e.time), TicksOf(1999, 7, 4, 13, 2, 0));
}

TEST(FtpList, SkipsAndRefuses)
{
    FtpEntry e;
    e.name = "untouched";
    for (const char *line : {"total 12", "   ", "", "drwxr-xr-x 2 a b 4096 Jan 15 2020 .",
                             "01-15-20  09:05AM       <DIR>          .."}) {
        EXPECT_EQ(wininet::ParseListLine(line, kClock, e), LineResult::Skip) << line;
    }
    for (const char *line : {"this line is not a listing entry", "-rw-r--r--",
                             "-rw-r--r--   1 ftp ftp notanumber Mar 04 12:30 bad-size.txt",
                             "-rw-r--r--   1 ftp ftp 77 Foo 04 12:30 bad-month.txt",
                             "-rw-r--r--   1 ftp ftp 0 Feb 30  2021 bad-date.txt",
                             "-rw-r--r--   1 ftp ftp 0 Mar 32 12:30 bad-day.txt",
                             "-rw-r--r--   1 ftp ftp 0 Mar 04 24:30 bad-hour.txt",
                             "-rw-r--r--   1 ftp ftp 12 Mar 04 12:30", "-rw-r--r--   1 ftp ftp 12 Mar 04 12:30 ",
                             "xrw-r--r--   1 ftp ftp 12 Mar 04 12:30 bad-type", "13-45-21  10:00AM     1 bad-date.txt",
                             "03-04-21  25:30PM        1 bad-time.txt", "03-04-21  00:30PM        1 bad-half.txt",
                             "03-04-21  12:30PM   lots of bytes.txt", "03-04-21  12:30PM", "03-04-21  2021  1 x",
                             "3-4-21  12:30PM  1 short-date"}) {
        EXPECT_EQ(wininet::ParseListLine(line, kClock, e), LineResult::Malformed) << line;
    }
    EXPECT_EQ(wininet::ParseListLine(std::string_view("-rw-r--r-- 1 a b 1 Mar 04 12:30 n\0ul", 35), kClock, e),
              LineResult::Malformed);
    EXPECT_EQ(e.name, "untouched");
}

// Damaged copies of good lines, and random bytes: each is an entry, a skip
// or malformed, never a crash (the sanitizers watch), and an entry always has
// a name that fits a find record's rules.
TEST(FtpListingDamage, TruncatedMutatedAndRandomLines)
{
    const std::string good[] = {
        "-rw-r--r--   1 ftp      ftp          1234 Mar 04 12:30 alpha.txt",
        "drwxr-xr-x    2 0        0            4096 Jan 15  2020 beta",
        "lrwxrwxrwx 1 ftp ftp 9 Mar 04 12:30 gamma.lnk -> alpha.txt",
        "03-04-21  12:30PM                 1234 alpha.txt",
        "12-31-2019  23:59           5000000000 gamma name.bin",
        "type=file;size=1234;modify=20210304123000.5; alpha.txt",
        "type=dir;sizd=4096;modify=20200115090500; beta",
    };
    std::mt19937 random(20240607);
    const char interesting[] = {' ', ';', '=', ':', '-', '/', '0', '9', 'a', '\t', '\r', '\0', '\xff', '.'};
    std::size_t entries = 0;
    auto check = [&](const std::string &line) {
        FtpEntry a, b;
        LineResult list = wininet::ParseListLine(line, kClock, a);
        LineResult mlsd = wininet::ParseMlsdLine(line, b);
        for (auto [result, entry] : {std::pair{list, &a}, std::pair{mlsd, &b}}) {
            if (result == LineResult::Entry) {
                ++entries;
                ASSERT_FALSE(entry->name.empty()) << line;
                ASSERT_EQ(entry->name.find('\0'), std::string::npos) << line;
                if (entry->directory) {
                    ASSERT_EQ(entry->size, 0u) << line;
                }
            }
        }
    };
    for (const std::string &line : good) {
        for (std::size_t n = 0; n <= line.size(); ++n)
            check(line.substr(0, n));
        for (int round = 0; round < 2000; ++round) {
            std::string damaged = line;
            int edits = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < edits && !damaged.empty(); ++i) {
                std::size_t at = random() % damaged.size();
                switch (random() % 3) {
                case 0:
                    damaged[at] = interesting[random() % sizeof interesting];
                    break;
                case 1:
                    damaged.erase(at, 1 + random() % 3);
                    break;
                default:
                    damaged.insert(at, 1, interesting[random() % sizeof interesting]);
                }
            }
            check(damaged);
        }
    }
    for (int round = 0; round < 5000; ++round) {
        std::string junk(random() % 120, '\0');
        for (char &c : junk)
            c = static_cast<char>(random() % 256);
        check(junk);
    }
    EXPECT_GT(entries, 0u);  // the damage left some lines whole
}

TEST(FtpReplies, PathOfA257Reply)
{
    std::string path;
    ASSERT_TRUE(wininet::ParsePathReply("257 \"/pub\" is the current directory.", path));
    EXPECT_EQ(path, "/pub");
    ASSERT_TRUE(wininet::ParsePathReply("257 \"/we\"\"ird\" is the current directory.", path));
    EXPECT_EQ(path, "/we\"ird");
    ASSERT_TRUE(wininet::ParsePathReply("257 \"/with space/\"\"\"\r\n257 more", path));
    EXPECT_EQ(path, "/with space/\"");
    ASSERT_TRUE(wininet::ParsePathReply("257 /unquoted is current", path));
    EXPECT_EQ(path, "/unquoted");
    path = "kept";
    EXPECT_FALSE(wininet::ParsePathReply("257 \"/never closed", path));
    EXPECT_FALSE(wininet::ParsePathReply("257 \"\" empty", path));
    EXPECT_FALSE(wininet::ParsePathReply("257", path));
    EXPECT_FALSE(wininet::ParsePathReply("257    ", path));
    EXPECT_EQ(path, "kept");
}

TEST(FtpReplies, FeaturesAndMlstFacts)
{
    EXPECT_TRUE(wininet::FeaturesOfferMlsd("211-Features supported:\r\n EPRT\r\n MLST type*;size*;\r\n SIZE\r\n211 End"));
    EXPECT_TRUE(wininet::FeaturesOfferMlsd("211-Features:\r\n mlst\r\n211 End"));
    EXPECT_FALSE(wininet::FeaturesOfferMlsd("211-Features:\r\n SIZE\r\n MLSTX\r\n211 End"));
    EXPECT_FALSE(wininet::FeaturesOfferMlsd("211-MLST in the first line does not count\r\n211 End"));
    EXPECT_FALSE(wininet::FeaturesOfferMlsd("500 Unknown command."));

    std::string_view line;
    ASSERT_TRUE(wininet::MlstFactLine("250-Listing \"/a.txt\":\r\n modify=20261209010100;size=3;type=file; /a.txt\r\n250 End.",
                                      line));
    EXPECT_EQ(line, "modify=20261209010100;size=3;type=file; /a.txt");
    EXPECT_FALSE(wininet::MlstFactLine("250 End.", line));
    EXPECT_FALSE(wininet::MlstFactLine("250-Listing:\r\n250 End.", line));
}

TEST(FtpPatterns, StarsQuestionMarksAndCase)
{
    struct Case {
        const char *pattern;
        const char *name;
        bool match;
    } cases[] = {
        {"*", "anything", true},    {"*", "", true},           {"*.*", "no-dot", true},   {"*.txt", "a.txt", true},
        {"*.txt", "a.TXT", false},  {"*.txt", "a.txt.gz", false}, {"a?c", "abc", true}, {"a?c", "ac", false},
        {"a*b*c", "aXbYbZc", true}, {"a*b*c", "aXbYbZ", false}, {"*a*", "bab", true},     {"??", "ab", true},
        {"??", "abc", false},       {"abc", "abc", true},       {"abc", "Abc", false},    {"**x", "x", true},
        {"*.?", "a.b", true},       {"", "", true},             {"", "a", false},         {"a*", "a", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(wininet::MatchesPattern(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
    // Backtracking stays linear enough for long names.
    EXPECT_FALSE(wininet::MatchesPattern("*a*a*a*a*a*a*a*b", std::string(4000, 'a')));
    EXPECT_TRUE(wininet::HasWildcards("a*"));
    EXPECT_TRUE(wininet::HasWildcards("?"));
    EXPECT_FALSE(wininet::HasWildcards("plain.txt"));
}

TEST(FtpFindData, ZeroedThenFilled)
{
    FtpEntry file;
    file.name = "big.bin";
    file.size = 0x123456789ull;
    file.hasTime = true;
    ASSERT_TRUE(wininet::ToFileTime(2021, 3, 4, 12, 30, 0, 0, file.time));
    WIN32_FIND_DATAA data;
    std::memset(&data, 0xAB, sizeof data);
    wininet::FillFindData(file, data);
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(data.nFileSizeHigh, 0x1u);
    EXPECT_EQ(data.nFileSizeLow, 0x23456789u);
    EXPECT_EQ(Ticks(data.ftLastWriteTime), Ticks(file.time));
    EXPECT_EQ(Ticks(data.ftCreationTime), Ticks(file.time));
    EXPECT_EQ(Ticks(data.ftLastAccessTime), Ticks(file.time));
    EXPECT_STREQ(data.cFileName, "big.bin");
    EXPECT_EQ(data.dwReserved0, 0u);
    EXPECT_EQ(data.dwReserved1, 0u);
    for (std::size_t i = std::strlen(data.cFileName); i < sizeof data.cFileName; ++i)
        ASSERT_EQ(data.cFileName[i], '\0');
    for (char c : data.cAlternateFileName)
        ASSERT_EQ(c, '\0');

    FtpEntry dir;
    dir.name = "sub";
    dir.directory = true;
    dir.size = 4096;  // a server's block count is no file size
    std::memset(&data, 0xAB, sizeof data);
    wininet::FillFindData(dir, data);
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(data.nFileSizeLow, 0u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ(Ticks(data.ftLastWriteTime), 0u);
}

}  // namespace
