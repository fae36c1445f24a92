// The FTP reply reader on what a control connection may bring, in pieces of
// every size: each reply it keeps starts with its own code and stays bounded.
#include <ftp_listing.h>

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace wininet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    std::string_view input(reinterpret_cast<const char *>(data) + 1, size - 1);
    std::size_t piece = 1 + data[0];
    FtpReplyReader reader;
    reader.Sent("USER anonymous");
    for (std::size_t at = 0; at < input.size(); at += piece) {
        reader.Take(input.substr(at, piece));
        if (at % 3 == 0)
            reader.Sent("CWD " + std::to_string(at));
    }
    for (const FtpReply &reply : reader.Replies()) {
        if (reply.code < 100 || reply.code > 599)
            std::abort();
        if (reply.text.size() < 3 || std::stoi(reply.text.substr(0, 3)) != reply.code)
            std::abort();
        if (reply.text.size() > 64 * 1024)
            std::abort();
    }
    return 0;
}
