// The FTP listing parsers and name patterns, and the texts of 257, FEAT and
// MLST replies, on whatever a server may send.
#include <ftp_listing.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

using namespace wininet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string_view input(reinterpret_cast<const char *>(data), size);
    // The first line is a pattern; the rest a listing.
    std::size_t nl = input.find('\n');
    std::string_view pattern = input.substr(0, nl);
    std::string_view listing = nl == std::string_view::npos ? std::string_view() : input.substr(nl + 1);
    const ListingClock clock{2024, 2, 29};
    while (!listing.empty()) {
        std::size_t end = listing.find('\n');
        std::string_view line = listing.substr(0, end);
        listing = end == std::string_view::npos ? std::string_view() : listing.substr(end + 1);
        for (bool mlsd : {true, false}) {
            FtpEntry entry;
            LineResult r = mlsd ? ParseMlsdLine(line, entry) : ParseListLine(line, clock, entry);
            if (r != LineResult::Entry)
                continue;
            if (entry.name.empty() || line.find(entry.name) == std::string_view::npos)
                std::abort();  // a name is always one the line holds
            if (entry.directory && entry.size != 0)
                std::abort();
            WIN32_FIND_DATAA find;
            FillFindData(entry, find);
            if (std::memchr(find.cFileName, 0, sizeof find.cFileName) == nullptr)
                std::abort();
            MatchesPattern(pattern, entry.name);
        }
    }
    MatchesPattern(pattern, input);
    std::string path;
    if (ParsePathReply(input, path) && path.size() > input.size())
        std::abort();
    FeaturesOfferMlsd(input);
    std::string_view fact;
    if (MlstFactLine(input, fact) && (fact.data() < input.data() || fact.data() + fact.size() > input.data() + size))
        std::abort();
    return 0;
}
