// What FTP servers send as text, parsed: the replies on the control
// connection, directory listings (MLSD fact lines and the Unix and DOS forms
// of LIST) line by line into entries, the path of a 257 reply, the features
// of a FEAT reply; the client-side name patterns; and the find record an
// entry becomes.
#ifndef PLATFORM_WININET_FTP_LISTING_H
#define PLATFORM_WININET_FTP_LISTING_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wininet {

struct FtpReply {
    int code = 0;
    std::string command;  // the command that drew it, "" for the greeting
    std::string text;     // all its lines, CRLF between them
};

// The replies in what the server sends on the control connection, as it
// comes in pieces: lines that are no reply are passed over, a multi-line
// reply ("123-" up to "123 ") is one. A reply is kept up to 64 KiB of text.
class FtpReplyReader {
public:
    // The command sent last: the replies that follow are its.
    void Sent(std::string command) { command_ = std::move(command); }
    void Take(std::string_view data);
    const std::vector<FtpReply> &Replies() const { return replies_; }

private:
    void Line(std::string_view line);

    std::string command_;
    std::string partial_;  // a line not yet ended
    FtpReply current_;
    bool inMultiline_ = false;
    std::vector<FtpReply> replies_;
};

struct FtpEntry {
    std::string name;
    bool directory = false;
    std::uint64_t size = 0;
    bool hasTime = false;
    FILETIME time = {};  // UTC
};

// The civil date the listing shows for "Mon DD HH:MM" lines (no year): the
// current UTC date, which picks the year the way ls does.
struct ListingClock {
    int year = 1970;
    int month = 1;
    int day = 1;
};
ListingClock ListingClockNow();

enum class LineResult {
    Entry,      // entry filled
    Skip,       // a line that names no entry (".", "..", "total 12")
    Malformed,  // not a listing line
};

// One MLSD line, "fact=value;fact=value; name".
LineResult ParseMlsdLine(std::string_view line, FtpEntry &entry);
// One LIST line in the Unix form, or the DOS form when it starts with a date.
LineResult ParseListLine(std::string_view line, const ListingClock &clock, FtpEntry &entry);

// The path of a 257 reply, '257 "/a ""b""" is current': quoted, "" standing
// for a quote; a reply without quotes gives the word after the code.
bool ParsePathReply(std::string_view reply, std::string &path);
// Whether a FEAT reply names MLST (and so MLSD) among its features.
bool FeaturesOfferMlsd(std::string_view reply);
// The fact line of a 250 reply to MLST (its second line, without the
// leading space).
bool MlstFactLine(std::string_view reply, std::string_view &line);

// Whether name matches pattern: '*' any run of characters, '?' one
// character, everything else itself, case as written; "*.*" matches all.
bool MatchesPattern(std::string_view pattern, std::string_view name);
bool HasWildcards(std::string_view pattern);

// The FILETIME of a UTC date and time; false when it is no real date or lies
// outside what a FILETIME holds.
bool ToFileTime(int year, int month, int day, int hour, int minute, int second, int milliseconds, FILETIME &out);

// The record FtpFindFirstFileA and InternetFindNextFileA hand out: zeroed,
// then name, size, attributes and the listing time in all three times.
void FillFindData(const FtpEntry &entry, WIN32_FIND_DATAA &data);

}  // namespace wininet

#endif  // PLATFORM_WININET_FTP_LISTING_H
