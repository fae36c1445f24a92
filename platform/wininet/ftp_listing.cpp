// FTP listings parsed by hand, line by line. libcurl's own listing parser
// (the one behind its wildcard downloads) reports no file times and reads
// only the Unix form, so the three forms servers use are read here: MLSD
// facts (RFC 3659), the Unix "ls -l" form and the DOS form. A line that is
// none of them is reported as malformed and the caller skips it.
#include "ftp_listing.h"
#include "text.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <vector>

namespace wininet {

namespace {

constexpr std::size_t kMaxDigits = 20;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimLineEnd(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    return line;
}

bool ParseUnsigned(std::string_view text, std::uint64_t &value)
{
    if (text.empty() || text.size() > kMaxDigits)
        return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (!IsDigit(c))
            return false;
        std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (v > (UINT64_MAX - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    value = v;
    return true;
}

// A fixed number of digits at text[pos...].
bool Digits(std::string_view text, std::size_t pos, std::size_t count, int &value)
{
    if (pos + count > text.size())
        return false;
    int v = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (!IsDigit(text[i]))
            return false;
        v = v * 10 + (text[i] - '0');
    }
    value = v;
    return true;
}

bool LeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && LeapYear(year) ? 29 : days[month - 1];
}

// Days from 1970-01-01 to a civil date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// "YYYYMMDDHHMMSS" with an optional fraction of a second.
bool ParseMlsdTime(std::string_view text, FILETIME &out)
{
    int year, month, day, hour, minute, second;
    if (text.size() < 14 || !Digits(text, 0, 4, year) || !Digits(text, 4, 2, month) || !Digits(text, 6, 2, day) ||
        !Digits(text, 8, 2, hour) || !Digits(text, 10, 2, minute) || !Digits(text, 12, 2, second))
        return false;
    int milliseconds = 0;
    if (text.size() > 14) {
        if (text[14] != '.' || text.size() == 15)
            return false;
        int scale = 100;
        for (std::size_t i = 15; i < text.size(); ++i) {
            if (!IsDigit(text[i]))
                return false;
            milliseconds += (text[i] - '0') * scale;
            scale /= 10;
        }
    }
    return ToFileTime(year, month, day, hour, minute, second, milliseconds, out);
}

bool IsDotName(std::string_view name) { return name == "." || name == ".."; }

struct Token {
    std::size_t start;
    std::size_t end;
};

std::vector<Token> Tokens(std::string_view line, std::size_t limit)
{
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < line.size() && tokens.size() < limit) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i == line.size())
            break;
        std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        tokens.push_back({start, i});
    }
    return tokens;
}

int MonthNumber(std::string_view text)
{
    static const char *const names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
    if (text.size() != 3)
        return 0;
    for (int i = 0; i < 12; ++i) {
        if (EqualsNoCase(text, names[i]))
            return i + 1;
    }
    return 0;
}

bool ParseDay(std::string_view text, int &day)
{
    std::uint64_t v;
    if (text.size() > 2 || !ParseUnsigned(text, v) || v < 1 || v > 31)
        return false;
    day = static_cast<int>(v);
    return true;
}

// "HH:MM" (hour, minute) or "YYYY" (year).
bool ParseTimeOrYear(std::string_view text, int &hour, int &minute, int &year)
{
    year = 0;
    if (text.size() == 4 && Digits(text, 0, 4, year))
        return true;
    std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() != colon + 3)
        return false;
    if (!Digits(text, 0, colon, hour) || !Digits(text, colon + 1, 2, minute))
        return false;
    return hour < 24 && minute < 60;
}

LineResult ParseUnixLine(std::string_view line, const ListingClock &clock, FtpEntry &entry)
{
    std::vector<Token> t = Tokens(line, 16);
    if (t.size() < 6)
        return LineResult::Malformed;
    std::string_view perms = line.substr(t[0].start, t[0].end - t[0].start);
    if (perms.size() < 10 || !std::strchr("-dlbcps", perms[0]))
        return LineResult::Malformed;
    // perms [links] owner [group] size month day time-or-year name: the date
    // is the first month, day and time in a row that follow a number.
    for (std::size_t m = 2; m + 2 < t.size(); ++m) {
        auto text = [&](std::size_t i) { return line.substr(t[i].start, t[i].end - t[i].start); };
        int month = MonthNumber(text(m));
        int day = 0, hour = 0, minute = 0, year = 0;
        std::uint64_t size = 0;
        if (!month || !ParseDay(text(m + 1), day) || !ParseTimeOrYear(text(m + 2), hour, minute, year) ||
            !ParseUnsigned(text(m - 1), size))
            continue;
        std::size_t nameStart = t[m + 2].end + 1;
        if (nameStart >= line.size())
            return LineResult::Malformed;
        std::string_view name = line.substr(nameStart);
        if (perms[0] == 'l') {
            std::size_t arrow = name.find(" -> ");
            if (arrow != std::string_view::npos)
                name = name.substr(0, arrow);
        }
        if (name.empty())
            return LineResult::Malformed;
        if (IsDotName(name))
            return LineResult::Skip;
        if (year == 0) {
            // Without a year the date lies within the last half year.
            year = clock.year;
            if (month > clock.month || (month == clock.month && day > clock.day + 1))
                --year;
        } else {
            hour = minute = 0;
        }
        FtpEntry e;
        if (!ToFileTime(year, month, day, hour, minute, 0, 0, e.time))
            return LineResult::Malformed;
        e.hasTime = true;
        e.name.assign(name);
        e.directory = perms[0] == 'd';
        e.size = e.directory ? 0 : size;
        entry = std::move(e);
        return LineResult::Entry;
    }
    return LineResult::Malformed;
}

// "MM-DD-YY  HH:MMAM  <DIR>  name" or "MM-DD-YYYY  HH:MM  1234  name".
LineResult ParseDosLine(std::string_view line, FtpEntry &entry)
{
    // date, time, [AM|PM], size or <DIR>, and where the name starts
    std::vector<Token> t = Tokens(line, 5);
    auto text = [&](std::size_t i) { return line.substr(t[i].start, t[i].end - t[i].start); };
    if (t.size() < 4)
        return LineResult::Malformed;
    std::string_view date = text(0);
    int month, day, year;
    if (date.size() != 8 && date.size() != 10)
        return LineResult::Malformed;
    char sep = date[2];
    if ((sep != '-' && sep != '/') || date[5] != sep || !Digits(date, 0, 2, month) || !Digits(date, 3, 2, day) ||
        !Digits(date, 6, date.size() - 6, year))
        return LineResult::Malformed;
    if (date.size() == 8)
        year += year < 70 ? 2000 : 1900;

    std::size_t next = 2;
    std::string_view time = text(1);
    std::string_view suffix;
    auto isHalfDay = [](std::string_view s) { return EqualsNoCase(s, "am") || EqualsNoCase(s, "pm"); };
    if (time.size() > 2 && isHalfDay(time.substr(time.size() - 2))) {
        suffix = time.substr(time.size() - 2);
        time.remove_suffix(2);
    } else if (isHalfDay(text(2))) {
        suffix = text(2);
        next = 3;
    }
    if (t.size() < next + 2)
        return LineResult::Malformed;
    int hour = 0, minute = 0, notYear = 0;
    if (time.size() == 4 || !ParseTimeOrYear(time, hour, minute, notYear))
        return LineResult::Malformed;
    if (!suffix.empty()) {
        if (hour < 1 || hour > 12)
            return LineResult::Malformed;
        hour = hour % 12 + (EqualsNoCase(suffix, "pm") ? 12 : 0);
    }

    FtpEntry e;
    std::string_view sizeText = text(next);
    if (EqualsNoCase(sizeText, "<dir>"))
        e.directory = true;
    else if (!ParseUnsigned(sizeText, e.size))
        return LineResult::Malformed;
    std::string_view name = line.substr(t[next + 1].start);
    if (IsDotName(name))
        return LineResult::Skip;
    if (!ToFileTime(year, month, day, hour, minute, 0, 0, e.time))
        return LineResult::Malformed;
    e.hasTime = true;
    e.name.assign(name);
    entry = std::move(e);
    return LineResult::Entry;
}

}  // namespace

ListingClock ListingClockNow()
{
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    ListingClock clock;
    if (gmtime_r(&now, &utc)) {
        clock.year = utc.tm_year + 1900;
        clock.month = utc.tm_mon + 1;
        clock.day = utc.tm_mday;
    }
    return clock;
}

bool ToFileTime(int year, int month, int day, int hour, int minute, int second, int milliseconds, FILETIME &out)
{
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60 || milliseconds < 0 ||
        milliseconds > 999)
        return false;
    if (second == 60)
        second = 59;  // a leap second, as FILETIME has none
    std::int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                        DaysFromCivil(1601, 1, 1);
    std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    std::uint64_t ticks = (static_cast<std::uint64_t>(seconds) * 1000 + static_cast<std::uint64_t>(milliseconds)) *
                          10000;
    out.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    out.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return true;
}

// ---- replies ----

namespace {

// Long replies (a FEAT list, a banner) are kept up to this much.
constexpr std::size_t kReplyKeep = 64 * 1024;

bool IsReplyCode(std::string_view line)
{
    return line.size() >= 3 && line[0] >= '1' && line[0] <= '5' && line[1] >= '0' && line[1] <= '9' &&
           line[2] >= '0' && line[2] <= '9';
}

int CodeOf(std::string_view line) { return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0'); }

}  // namespace

void FtpReplyReader::Take(std::string_view in)
{
    while (!in.empty()) {
        std::size_t nl = in.find('\n');
        if (nl == std::string_view::npos) {
            if (partial_.size() < kReplyKeep)
                partial_.append(in.substr(0, kReplyKeep - partial_.size()));
            break;
        }
        if (partial_.size() < kReplyKeep)
            partial_.append(in.substr(0, std::min(nl, kReplyKeep - partial_.size())));
        in.remove_prefix(nl + 1);
        std::string line;
        line.swap(partial_);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        Line(line);
    }
}

void FtpReplyReader::Line(std::string_view line)
{
    if (!inMultiline_) {
        if (!IsReplyCode(line))
            return;
        current_ = FtpReply();
        current_.code = CodeOf(line);
        current_.command = command_;
        current_.text.assign(line.substr(0, kReplyKeep));
        if (line.size() > 3 && line[3] == '-') {
            inMultiline_ = true;
            return;
        }
        replies_.push_back(std::move(current_));
        return;
    }
    if (current_.text.size() + line.size() + 2 <= kReplyKeep) {
        current_.text += "\r\n";
        current_.text.append(line);
    }
    if (IsReplyCode(line) && (line.size() == 3 || line[3] == ' ') && CodeOf(line) == current_.code) {
        inMultiline_ = false;
        replies_.push_back(std::move(current_));
    }
}

LineResult ParseMlsdLine(std::string_view line, FtpEntry &entry)
{
    line = TrimLineEnd(line);
    std::size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return LineResult::Malformed;
    std::string_view facts = line.substr(0, space);
    std::string_view name = line.substr(space + 1);
    if (name.empty() || name.find('\0') != std::string_view::npos)
        return LineResult::Malformed;

    FtpEntry e;
    bool skip = false;
    std::size_t pos = 0;
    while (pos < facts.size()) {
        std::size_t end = facts.find(';', pos);
        if (end == std::string_view::npos)
            end = facts.size();
        std::string_view fact = facts.substr(pos, end - pos);
        pos = end + 1;
        if (fact.empty())
            continue;
        std::size_t eq = fact.find('=');
        if (eq == std::string_view::npos || eq == 0)
            return LineResult::Malformed;
        std::string_view key = fact.substr(0, eq);
        std::string_view value = fact.substr(eq + 1);
        if (EqualsNoCase(key, "type")) {
            if (EqualsNoCase(value, "dir"))
                e.directory = true;
            else if (EqualsNoCase(value, "cdir") || EqualsNoCase(value, "pdir"))
                skip = true;
            // "file", and "OS.unix=slink:..." and other OS types count as files.
        } else if (EqualsNoCase(key, "size") || EqualsNoCase(key, "sizd")) {
            std::uint64_t size;
            if (!ParseUnsigned(value, size))
                return LineResult::Malformed;
            if (EqualsNoCase(key, "size"))
                e.size = size;
        } else if (EqualsNoCase(key, "modify")) {
            if (!ParseMlsdTime(value, e.time))
                return LineResult::Malformed;
            e.hasTime = true;
        }
    }
    if (skip || IsDotName(name))
        return LineResult::Skip;
    if (e.directory)
        e.size = 0;
    e.name.assign(name);
    entry = std::move(e);
    return LineResult::Entry;
}

LineResult ParseListLine(std::string_view line, const ListingClock &clock, FtpEntry &entry)
{
    line = TrimLineEnd(line);
    if (line.find_first_not_of(" \t") == std::string_view::npos)
        return LineResult::Skip;
    if (line.find('\0') != std::string_view::npos)
        return LineResult::Malformed;
    if (line.size() > 6 && EqualsNoCase(line.substr(0, 6), "total ")) {
        std::uint64_t blocks;
        if (ParseUnsigned(line.substr(6), blocks))
            return LineResult::Skip;
    }
    if (IsDigit(line[0]))
        return ParseDosLine(line, entry);
    return ParseUnixLine(line, clock, entry);
}

bool ParsePathReply(std::string_view reply, std::string &path)
{
    std::string_view first = reply.substr(0, reply.find_first_of("\r\n"));
    if (first.size() < 4)
        return false;
    std::string_view rest = first.substr(4);
    std::size_t quote = rest.find('"');
    std::string out;
    if (quote == std::string_view::npos) {
        std::size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos)
            return false;
        std::size_t end = rest.find(' ', start);
        out.assign(rest.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    } else {
        std::size_t i = quote + 1;
        for (;;) {
            if (i >= rest.size())
                return false;  // no closing quote
            if (rest[i] == '"') {
                if (i + 1 < rest.size() && rest[i + 1] == '"') {
                    out += '"';
                    i += 2;
                    continue;
                }
                break;
            }
            out += rest[i++];
        }
    }
    if (out.empty())
        return false;
    path = std::move(out);
    return true;
}

bool FeaturesOfferMlsd(std::string_view reply)
{
    std::size_t pos = 0;
    bool first = true;
    while (pos < reply.size()) {
        std::size_t end = reply.find('\n', pos);
        if (end == std::string_view::npos)
            end = reply.size();
        std::string_view line = TrimLineEnd(reply.substr(pos, end - pos));
        pos = end + 1;
        if (first) {
            first = false;
            continue;  // "211-Features:"
        }
        std::size_t start = line.find_first_not_of(' ');
        if (start == std::string_view::npos)
            continue;
        std::string_view feature = line.substr(start);
        if (feature.size() >= 4 && EqualsNoCase(feature.substr(0, 4), "mlst") &&
            (feature.size() == 4 || feature[4] == ' '))
            return true;
    }
    return false;
}

bool MlstFactLine(std::string_view reply, std::string_view &line)
{
    std::size_t end = reply.find('\n');
    while (end != std::string_view::npos) {
        std::size_t start = end + 1;
        end = reply.find('\n', start);
        std::string_view candidate =
            TrimLineEnd(reply.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (!candidate.empty() && candidate[0] == ' ') {
            line = candidate.substr(1);
            return true;
        }
    }
    return false;
}

bool HasWildcards(std::string_view pattern) { return pattern.find_first_of("*?") != std::string_view::npos; }

bool MatchesPattern(std::string_view pattern, std::string_view name)
{
    if (pattern == "*.*")
        return true;
    std::size_t p = 0, n = 0;
    std::size_t star = std::string_view::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

void FillFindData(const FtpEntry &entry, WIN32_FIND_DATAA &data)
{
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = entry.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    if (!entry.directory) {
        data.nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(entry.size & 0xFFFFFFFFu);
    }
    if (entry.hasTime) {
        data.ftCreationTime = entry.time;
        data.ftLastAccessTime = entry.time;
        data.ftLastWriteTime = entry.time;
    }
    std::size_t length = std::min(entry.name.size(), sizeof data.cFileName - 1);
    std::memcpy(data.cFileName, entry.name.data(), length);
}

}  // namespace wininet
