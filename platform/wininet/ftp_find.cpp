// FtpFindFirstFileA and InternetFindNextFileA: a listing read whole when the
// enumeration starts (MLSD where the server offers it, else LIST), matched
// against the pattern here, and handed out one entry per call. The find
// handle holds its connection until it is closed, as WinINet's does.
#include "ftp.h"

#include <mutex>

namespace wininet {

namespace {

// A listing line longer than this is no listing line.
constexpr std::size_t kLineLimit = 64 * 1024;
constexpr DWORD kReadChunk = 64 * 1024;

class FtpFind : public Handle {
public:
    FtpFind(const std::shared_ptr<FtpConnection> &connection, std::vector<FtpEntry> entries, DWORD_PTR context)
        : Handle(INTERNET_HANDLE_TYPE_FTP_FIND, connection, context), connection_(connection),
          entries_(std::move(entries))
    {
    }

    ~FtpFind() override { Let(); }

    void OnClose() override { Let(); }

    DWORD Next(WIN32_FIND_DATAA *data)
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (next_ >= entries_.size())
            return ERROR_NO_MORE_FILES;
        if (data)
            FillFindData(entries_[next_], *data);
        ++next_;
        return ERROR_SUCCESS;
    }

private:
    // The connection is free again for other calls.
    void Let()
    {
        if (holding_.exchange(false))
            connection_->Release();
    }

    const std::shared_ptr<FtpConnection> connection_;
    std::atomic<bool> holding_{true};
    std::mutex lock_;
    const std::vector<FtpEntry> entries_;
    std::size_t next_ = 0;
};

// Splits a listing into lines as it comes and keeps the entries that match.
class ListingReader {
public:
    ListingReader(bool mlsd, std::string_view pattern) : mlsd_(mlsd), pattern_(pattern), clock_(ListingClockNow()) {}

    void Take(const char *data, std::size_t size)
    {
        for (std::size_t i = 0; i < size; ++i) {
            char c = data[i];
            if (c == '\n') {
                if (!discarding_)
                    Line();
                line_.clear();
                discarding_ = false;
            } else if (!discarding_) {
                if (line_.size() >= kLineLimit) {
                    discarding_ = true;
                    line_.clear();
                } else {
                    line_ += c;
                }
            }
        }
    }

    void End()
    {
        if (!discarding_ && !line_.empty())
            Line();
        line_.clear();
    }

    std::vector<FtpEntry> &Entries() { return entries_; }

private:
    void Line()
    {
        FtpEntry entry;
        LineResult result = mlsd_ ? ParseMlsdLine(line_, entry) : ParseListLine(line_, clock_, entry);
        if (result != LineResult::Entry)
            return;
        // "LIST dir/file" may name the file with its path.
        std::size_t slash = entry.name.rfind('/');
        if (slash != std::string::npos)
            entry.name.erase(0, slash + 1);
        if (entry.name.empty() || entry.name.size() >= MAX_PATH)
            return;  // no name a find record can hold
        if (!pattern_.empty() && !MatchesPattern(pattern_, entry.name))
            return;
        entries_.push_back(std::move(entry));
    }

    const bool mlsd_;
    const std::string pattern_;
    const ListingClock clock_;
    std::string line_;
    bool discarding_ = false;
    std::vector<FtpEntry> entries_;
};

// Lists directory (the current one when empty) with command, keeping what matches pattern ("" all).
DWORD List(FtpControl &control, const Options &options, const std::string &directory, bool mlsd,
           const std::string &pattern, std::vector<FtpEntry> &entries, bool *unknownCommand)
{
    FtpRequest request(control, options);
    if (DWORD err = request.Init())
        return err;
    if (DWORD err = request.Listing(directory, mlsd ? "MLSD" : "LIST"))
        return err;
    DWORD err = request.Start();
    if (err) {
        if (unknownCommand) {
            const FtpReply *last = request.LastReply();
            *unknownCommand = last && (last->code == 500 || last->code == 502) &&
                              (last->command.rfind("MLSD", 0) == 0);
        }
        return err;
    }
    ListingReader reader(mlsd, pattern);
    std::vector<char> buffer(kReadChunk);
    for (;;) {
        DWORD got = 0;
        if (DWORD e = request.Read(buffer.data(), kReadChunk, &got))
            return e;
        if (got == 0)
            break;
        reader.Take(buffer.data(), got);
    }
    reader.End();
    entries = std::move(reader.Entries());
    return ERROR_SUCCESS;
}

// The directory listing, with LIST where MLSD turns out not to be there after all.
DWORD ListDirectory(FtpControl &control, const Options &options, const std::string &directory,
                    const std::string &pattern, std::vector<FtpEntry> &entries)
{
    bool mlsd = false;
    if (DWORD err = control.OffersMlsd(options, mlsd))
        return err;
    bool unknown = false;
    DWORD err = List(control, options, directory, mlsd, pattern, entries, mlsd ? &unknown : nullptr);
    if (err && unknown) {
        control.NoMlsd();
        err = List(control, options, directory, false, pattern, entries, nullptr);
    }
    return err;
}

// A name without wildcards: a directory lists what it holds, a file itself.
DWORD ListName(FtpControl &control, const Options &options, const std::string &name, std::vector<FtpEntry> &entries)
{
    bool mlsd = false;
    if (DWORD err = control.OffersMlsd(options, mlsd))
        return err;
    // LIST takes a file as well as a directory.
    if (!mlsd)
        return List(control, options, name, false, "", entries, nullptr);
    bool unknown = false;
    DWORD err = List(control, options, name, true, "", entries, &unknown);
    if (!err)
        return ERROR_SUCCESS;
    if (unknown) {
        control.NoMlsd();
        return List(control, options, name, false, "", entries, nullptr);
    }
    if (err != ERROR_INTERNET_EXTENDED_ERROR)
        return err;
    // Not a directory, or nothing at all: MLST says which, and its reply is the one kept.
    std::vector<FtpReply> replies;
    if (DWORD e = control.Commands(options, {"MLST " + name}, &replies))
        return e;
    std::string_view line;
    FtpEntry entry;
    if (replies.empty() || !MlstFactLine(replies.back().text, line) ||
        ParseMlsdLine(line, entry) != LineResult::Entry)
        return ERROR_NO_MORE_FILES;
    std::size_t slash = entry.name.rfind('/');
    if (slash != std::string::npos)
        entry.name.erase(0, slash + 1);
    if (entry.name.empty() || entry.name.size() >= MAX_PATH)
        return ERROR_NO_MORE_FILES;
    entries.push_back(std::move(entry));
    return ERROR_SUCCESS;
}

}  // namespace

}  // namespace wininet

using namespace wininet;

HINTERNET WINAPI FtpFindFirstFileA(HINTERNET connect, LPCSTR searchFile, LPWIN32_FIND_DATAA findData, DWORD,
                                   DWORD_PTR context)
{
    HINTERNET value = nullptr;
    DWORD err = Guard([&]() -> DWORD {
        FtpCall call;
        if (DWORD e = call.Enter(connect))
            return e;
        std::string search = searchFile ? searchFile : "";
        if (!IsSafeFtpArgument(search))
            return ERROR_INVALID_PARAMETER;
        FtpConnection &c = call.Connection();
        Options options = c.Settings();
        std::vector<FtpEntry> entries;
        std::size_t slash = search.rfind('/');
        std::string name = slash == std::string::npos ? search : search.substr(slash + 1);
        if (name.empty() || HasWildcards(name)) {
            std::string directory;
            if (slash != std::string::npos)
                directory = slash == 0 ? "/" : search.substr(0, slash);
            if (DWORD e = ListDirectory(c.Control(), options, directory, name, entries))
                return e;
        } else if (DWORD e = ListName(c.Control(), options, search, entries)) {
            return e;
        }
        if (entries.empty())
            return ERROR_NO_MORE_FILES;
        // From here the find handle holds the connection, until it is closed.
        auto find = std::make_shared<FtpFind>(call.Shared(), std::move(entries), context);
        call.Keep();
        if (DWORD e = RegisterHandle(find, &value))
            return e;
        return find->Next(findData);
    });
    if (err) {
        SetLastError(err);
        return nullptr;
    }
    return value;
}

BOOL WINAPI InternetFindNextFileA(HINTERNET find, LPVOID findData)
{
    DWORD err = Guard([&]() -> DWORD {
        std::shared_ptr<FtpFind> f;
        if (DWORD e = FindHandleOf(find, f))
            return e;
        if (!findData)
            return ERROR_INVALID_PARAMETER;
        return f->Next(static_cast<WIN32_FIND_DATAA *>(findData));
    });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}
