// Gopher URLs against pygopherd: items byte for byte, menus as listed.
#include "support.h"

using test::Download;
using test::Fetch;
using test::Internet;
using test::Servers;

namespace {

class Gopher : public test::WinInetTest {
protected:
    void SetUp() override
    {
        test::WinInetTest::SetUp();
        session_.Reset(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session_);
    }
    HINTERNET session() const { return session_.get(); }
    std::string Root(const std::string &path) const { return Servers::Get().Value("GOPHER_ROOT") + path; }

private:
    Internet session_;
};

TEST_F(Gopher, TextItemByteForByte)
{
    Download d = Fetch(session(), Servers::Get().Gopher("/0/text.txt"), 0, "", 7);
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_EQ(d.body, test::ReadFile(Root("/text.txt")));
    Download nested = Fetch(session(), Servers::Get().Gopher("/0/docs/notes.txt"));
    ASSERT_TRUE(nested.complete) << nested.error;
    EXPECT_EQ(nested.body, "Notes in a folder\n");
}

TEST_F(Gopher, BinaryItemByteForByte)
{
    // The item holds every byte value and a line with a lone dot.
    std::string expected = test::ReadFile(Root("/binary.bin"));
    ASSERT_GT(expected.size(), 30000u);
    Download d = Fetch(session(), Servers::Get().Gopher("/9/binary.bin"), 0, "", 1024);
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_TRUE(d.body == expected) << d.body.size() << " of " << expected.size();
}

TEST_F(Gopher, MenuAsTheServerListsIt)
{
    Download d = Fetch(session(), Servers::Get().Gopher("/"));
    ASSERT_TRUE(d.complete) << d.error;
    EXPECT_NE(d.body.find("0text\t/text.txt\t"), std::string::npos) << d.body;
    EXPECT_NE(d.body.find("9binary\t/binary.bin\t"), std::string::npos) << d.body;
    EXPECT_NE(d.body.find("1docs\t/docs\t"), std::string::npos) << d.body;
}

TEST_F(Gopher, FileHandleType)
{
    Internet file(InternetOpenUrlA(session(), Servers::Get().Gopher("/0/text.txt").c_str(), nullptr, 0, 0, 0));
    ASSERT_TRUE(file);
    DWORD type = 0, size = sizeof type;
    ASSERT_TRUE(InternetQueryOptionA(file.get(), INTERNET_OPTION_HANDLE_TYPE, &type, &size));
    EXPECT_EQ(type, static_cast<DWORD>(INTERNET_HANDLE_TYPE_GOPHER_FILE));
    char url[256];
    size = sizeof url;
    ASSERT_TRUE(InternetQueryOptionA(file.get(), INTERNET_OPTION_URL, url, &size));
    EXPECT_EQ(std::string(url), Servers::Get().Gopher("/0/text.txt"));
}

}  // namespace
