// FTP on libcurl: the control connection, its requests, the connection
// handle of InternetConnectA, and the directory, rename and delete calls.
//
// libcurl logs in, keeps the connection in its cache between requests and
// moves the data; the commands WinINet has calls for (CWD, PWD, MKD, RMD,
// DELE, RNFR/RNTO, FEAT, MLST) go as quote commands of a request that moves
// nothing. The server's replies are recorded against the commands that drew
// them, so each call reports its own command's reply.
#include "ftp.h"

#include <cstring>

namespace wininet {

namespace {

// What an anonymous login gives as its password.
constexpr const char kAnonymousPassword[] = "ftp@example.com";
// libcurl's idle connections older than this are not reused; an FTP session
// lasts as long as the server keeps it.
constexpr long kConnectionMaxAge = 24 * 60 * 60;
// All the replies of one request (libcurl's own bound is 300 KiB).
constexpr std::size_t kRepliesLimit = 256 * 1024;
// libcurl sends no command line over 64 KiB; a longer user, password or name
// is refused here with what is wrong with it.
constexpr std::size_t kArgumentLimit = 32 * 1024;
constexpr int kWaitCap = 20;

bool Limited(DWORD timeout) { return timeout != 0 && timeout != INFINITE; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string Verb(std::string_view command)
{
    std::string verb;
    for (char c : command.substr(0, command.find(' ')))
        verb += Upper(c);
    return verb;
}

bool IsAnonymousName(const std::string &user)
{
    std::string u;
    for (char c : user)
        u += Upper(c);
    return u == "ANONYMOUS" || u == "FTP";
}

}  // namespace

bool IsSafeFtpArgument(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos; }

DWORD MakeFtpLogin(const std::string &host, INTERNET_PORT port, bool hasUser, const std::string &user,
                   bool hasPassword, const std::string &password, bool passive, FtpLogin &login)
{
    if (!hasUser && hasPassword)
        return ERROR_INVALID_PARAMETER;
    FtpLogin l;
    l.host = host;
    l.port = port;
    l.passive = passive;
    if (!hasUser) {
        l.user = "anonymous";
        l.password = kAnonymousPassword;
    } else {
        l.user = user;
        l.password = hasPassword ? password : (IsAnonymousName(user) ? kAnonymousPassword : "");
    }
    if (!IsSafeFtpArgument(l.user) || !IsSafeFtpArgument(l.password) || !IsSafeFtpArgument(l.host))
        return ERROR_INVALID_PARAMETER;
    if (l.user.size() > kArgumentLimit)
        return ERROR_INTERNET_INCORRECT_USER_NAME;
    if (l.password.size() > kArgumentLimit)
        return ERROR_INTERNET_INCORRECT_PASSWORD;
    login = std::move(l);
    return ERROR_SUCCESS;
}

std::string EncodeFtpPath(std::string_view path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size() + 8);
    for (std::size_t i = 0; i < path.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(path[i]);
        bool plain = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' ||
                     b == '.' || b == '_' || b == '~' || (b == '/' && i > 0);
        if (plain) {
            out += static_cast<char>(b);
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

// ---- the control connection ----

FtpControl::FtpControl(FtpLogin login, const std::atomic<bool> *cancelled)
    : login_(std::move(login)), cancelled_(cancelled)
{
}

FtpControl::~FtpControl()
{
    // Says QUIT on a live connection, within the last request's reply timeout.
    if (multi_)
        curl_multi_cleanup(multi_);
}

DWORD FtpControl::Init()
{
    multi_ = curl_multi_init();
    if (!multi_)
        return ERROR_NOT_ENOUGH_MEMORY;
    curl_multi_setopt(multi_, CURLMOPT_MAXCONNECTS, 2L);
    return ERROR_SUCCESS;
}

void FtpControl::Wakeup()
{
    if (multi_)
        curl_multi_wakeup(multi_);
}

DWORD FtpControl::Connect(const Options &options)
{
    FtpRequest request(*this, options);
    if (DWORD err = request.Init())
        return err;
    if (DWORD err = request.Run())
        return err;
    // The login's own reply is the one to show, not libcurl's PWD after it.
    const FtpReply *shown = nullptr;
    for (const FtpReply &reply : request.Replies()) {
        std::string verb = Verb(reply.command);
        if (verb == "USER" || verb == "PASS" || verb == "ACCT")
            shown = &reply;
    }
    if (!shown)
        shown = request.LastReply();
    if (shown)
        SetLastResponse(static_cast<DWORD>(shown->code), shown->text);
    return ERROR_SUCCESS;
}

DWORD FtpControl::Commands(const Options &options, const std::vector<std::string> &commands,
                           std::vector<FtpReply> *replies)
{
    FtpRequest request(*this, options);
    if (DWORD err = request.Init())
        return err;
    for (const std::string &command : commands) {
        if (DWORD err = request.Command(command))
            return err;
    }
    if (DWORD err = request.Run())
        return err;
    std::vector<FtpReply> got;
    for (const std::string &command : commands) {
        const FtpReply *reply = request.ReplyTo(command);
        if (!reply)
            return ERROR_INTERNET_CONNECTION_ABORTED;
        got.push_back(*reply);
        if (reply->code >= 400) {
            SetLastResponse(static_cast<DWORD>(reply->code), reply->text);
            if (replies)
                *replies = std::move(got);
            return FromFtpReply(reply->code);
        }
    }
    if (!got.empty())
        SetLastResponse(static_cast<DWORD>(got.back().code), got.back().text);
    if (replies)
        *replies = std::move(got);
    return ERROR_SUCCESS;
}

DWORD FtpControl::ChangeDirectory(const Options &options, const std::string &directory)
{
    std::string cwd = "CWD " + directory;
    FtpRequest request(*this, options);
    if (DWORD err = request.Init())
        return err;
    if (DWORD err = request.Command(cwd))
        return err;
    if (DWORD err = request.Command("PWD"))
        return err;
    if (DWORD err = request.Run())
        return err;
    const FtpReply *reply = request.ReplyTo(cwd);
    if (!reply)
        return ERROR_INTERNET_CONNECTION_ABORTED;
    SetLastResponse(static_cast<DWORD>(reply->code), reply->text);
    if (reply->code >= 400)
        return FromFtpReply(reply->code);
    // Where the CWD led, as an absolute path another connection can return to.
    const FtpReply *pwd = request.ReplyTo("PWD");
    std::string path;
    if (pwd && pwd->code == 257 && ParsePathReply(pwd->text, path))
        directory_ = path;
    else
        directory_.clear();
    return ERROR_SUCCESS;
}

DWORD FtpControl::CurrentDirectory(const Options &options, std::string &directory)
{
    std::vector<FtpReply> replies;
    if (DWORD err = Commands(options, {"PWD"}, &replies))
        return err;
    std::string path;
    if (replies.empty() || !ParsePathReply(replies.back().text, path))
        return ERROR_INTERNET_EXTENDED_ERROR;  // the reply, kept, is all there is
    directory_ = path;
    directory = std::move(path);
    return ERROR_SUCCESS;
}

DWORD FtpControl::OffersMlsd(const Options &options, bool &mlsd)
{
    if (!featuresKnown_) {
        FtpRequest request(*this, options);
        if (DWORD err = request.Init())
            return err;
        if (DWORD err = request.Command("FEAT"))
            return err;
        if (DWORD err = request.Run())
            return err;
        const FtpReply *reply = request.ReplyTo("FEAT");
        mlsd_ = reply && reply->code / 100 == 2 && FeaturesOfferMlsd(reply->text);
        featuresKnown_ = true;
    }
    mlsd = mlsd_;
    return ERROR_SUCCESS;
}

DWORD FtpControl::StartDownload(const Options &options, const std::string &file, bool ascii,
                                std::unique_ptr<FtpRequest> &request)
{
    // libcurl asks SIZE first in binary mode, so that a short transfer shows.
    for (int attempt = 0;; ++attempt) {
        bool withSize = !ascii && attempt == 0;
        auto r = std::make_unique<FtpRequest>(*this, options);
        if (DWORD err = r->Init())
            return err;
        if (DWORD err = r->Download(file, ascii, withSize))
            return err;
        DWORD err = r->Start();
        if (!err) {
            request = std::move(r);
            return ERROR_SUCCESS;
        }
        if (!(withSize && r->RefusedAt("SIZE")))
            return err;
    }
}

// ---- one request ----

FtpRequest::FtpRequest(FtpControl &control, const Options &options) : control_(control), options_(options) {}

FtpRequest::~FtpRequest()
{
    transfer_.reset();
    curl_slist_free_all(quote_);
    curl_slist_free_all(prequote_);
}

DWORD FtpRequest::Init()
{
    const FtpLogin &login = control_.login_;
    std::string host = login.host.find(':') != std::string::npos ? "[" + login.host + "]" : login.host;
    base_ = "ftp://" + host + ":" + std::to_string(login.port) + "/";

    auto transfer = std::make_unique<Transfer>(control_.multi_, control_.cancelled_);
    if (DWORD err = transfer->Init())
        return err;
    transfer->CapWait(kWaitCap);
    // A server that will not stop talking is no FTP server.
    transfer->LimitHead(kRepliesLimit, true);
    CURL *easy = transfer->Easy();
    if (curl_easy_setopt(easy, CURLOPT_URL, base_.c_str()) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_USERNAME, login.user.c_str()) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_PASSWORD, login.password.c_str()) != CURLE_OK)
        return ERROR_NOT_ENOUGH_MEMORY;
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
    ConfigureBuffers(easy, options_);
    if (DWORD err = LimitAddresses(*transfer, login.host, login.port, options_.connectRetries))
        return err;
    // FTP goes straight to the server: quote commands do not pass an HTTP proxy.
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 0L);
    curl_easy_setopt(easy, CURLOPT_MAXAGE_CONN, kConnectionMaxAge);
    if (login.passive) {
        curl_easy_setopt(easy, CURLOPT_FTPPORT, nullptr);
    } else {
        curl_easy_setopt(easy, CURLOPT_FTPPORT, "-");
    }
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     Limited(options_.connectTimeout) ? static_cast<long>(options_.connectTimeout) : 0L);
    curl_easy_setopt(easy, CURLOPT_ACCEPTTIMEOUT_MS,
                     Limited(options_.connectTimeout) ? static_cast<long>(options_.connectTimeout) : 0L);
    // Every reply on the control connection has the receive timeout.
    long replySeconds = Limited(options_.receiveTimeout) ? static_cast<long>((options_.receiveTimeout + 999) / 1000) : 0L;
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, replySeconds);
    curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, &FtpRequest::OnDebug);
    curl_easy_setopt(easy, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
    transfer_ = std::move(transfer);

    // Back to what libcurl takes the server's transfer type to be.
    if (control_.serverInText_) {
        curl_slist *list = curl_slist_append(quote_, "*TYPE I");
        if (!list)
            return ERROR_NOT_ENOUGH_MEMORY;
        quote_ = list;
        control_.serverInText_ = false;
    }
    // On a new connection the server starts at the login directory: the
    // current one is set again first (harmless on a connection that is there already).
    const std::string &dir = control_.directory_;
    if (!dir.empty() && dir != control_.entry_) {
        restoring_ = true;
        restoreCommand_ = "CWD " + dir;
        curl_slist *list = curl_slist_append(quote_, ("*" + restoreCommand_).c_str());
        if (!list)
            return ERROR_NOT_ENOUGH_MEMORY;
        quote_ = list;
    }
    return ERROR_SUCCESS;
}

DWORD FtpRequest::Command(const std::string &command)
{
    if (!IsSafeFtpArgument(command))
        return ERROR_INVALID_PARAMETER;
    if (command.size() > kArgumentLimit)
        return ERROR_FILENAME_EXCED_RANGE;
    curl_slist *list = curl_slist_append(quote_, ("*" + command).c_str());
    if (!list)
        return ERROR_NOT_ENOUGH_MEMORY;
    quote_ = list;
    commands_.push_back(command);
    return ERROR_SUCCESS;
}

DWORD FtpRequest::SetPath(std::string_view path)
{
    std::string url = base_ + std::string(path);
    if (curl_easy_setopt(transfer_->Easy(), CURLOPT_URL, url.c_str()) != CURLE_OK)
        return ERROR_NOT_ENOUGH_MEMORY;
    curl_easy_setopt(transfer_->Easy(), CURLOPT_NOBODY, 0L);
    return ERROR_SUCCESS;
}

// Text mode as WinINet has it: the server turns line ends the network way
// and the bytes pass unchanged. libcurl's own text mode changes line ends
// itself (CRLF to LF coming in, LF to CRLF going out), so libcurl moves the
// data as binary and the TYPE A goes after its TYPE I; the next request puts
// the server back to TYPE I, where libcurl believes it is.
DWORD FtpRequest::TextMode(bool ascii)
{
    curl_easy_setopt(transfer_->Easy(), CURLOPT_TRANSFERTEXT, 0L);
    if (!ascii)
        return ERROR_SUCCESS;
    curl_slist *list = curl_slist_append(prequote_, "TYPE A");
    if (!list)
        return ERROR_NOT_ENOUGH_MEMORY;
    prequote_ = list;
    control_.serverInText_ = true;
    return ERROR_SUCCESS;
}

DWORD FtpRequest::Download(std::string_view file, bool ascii, bool withSize)
{
    if (file.size() > kArgumentLimit)
        return ERROR_FILENAME_EXCED_RANGE;
    if (DWORD err = SetPath(EncodeFtpPath(file)))
        return err;
    // A text file's size on the server is no count of the bytes that come.
    curl_easy_setopt(transfer_->Easy(), CURLOPT_IGNORE_CONTENT_LENGTH, withSize && !ascii ? 0L : 1L);
    return TextMode(ascii);
}

DWORD FtpRequest::Listing(std::string_view directory, const char *command)
{
    if (directory.size() > kArgumentLimit)
        return ERROR_FILENAME_EXCED_RANGE;
    // A path that ends in '/' is a directory to libcurl: the listing command gets it as its argument.
    std::string path;
    if (!directory.empty()) {
        path = EncodeFtpPath(directory);
        if (directory.back() != '/')
            path += '/';
    }
    if (DWORD err = SetPath(path))
        return err;
    if (curl_easy_setopt(transfer_->Easy(), CURLOPT_CUSTOMREQUEST, command) != CURLE_OK)
        return ERROR_NOT_ENOUGH_MEMORY;
    // libcurl takes a listing as text and turns its CR LF (and any CR in a
    // name) into LF; the debug callback sees the bytes before that.
    listing_ = true;
    transfer_->DeliverRaw();
    return ERROR_SUCCESS;
}

DWORD FtpRequest::Upload(std::string_view file, bool ascii, bool append, curl_read_callback read, void *data,
                         curl_off_t size)
{
    if (file.size() > kArgumentLimit)
        return ERROR_FILENAME_EXCED_RANGE;
    if (DWORD err = SetPath(EncodeFtpPath(file)))
        return err;
    CURL *easy = transfer_->Easy();
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, read);
    curl_easy_setopt(easy, CURLOPT_READDATA, data);
    curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, size);
    curl_easy_setopt(easy, CURLOPT_APPEND, append ? 1L : 0L);
    return TextMode(ascii);
}

DWORD FtpRequest::Prepare()
{
    curl_easy_setopt(transfer_->Easy(), CURLOPT_QUOTE, quote_);
    curl_easy_setopt(transfer_->Easy(), CURLOPT_PREQUOTE, prequote_);
    return ERROR_SUCCESS;
}

DWORD FtpRequest::Run()
{
    Prepare();
    DWORD err = transfer_->Run(TimeoutsOf(options_), 0, nullptr);
    Learn();
    return err ? Failure(err) : ERROR_SUCCESS;
}

DWORD FtpRequest::Start()
{
    Prepare();
    DWORD err = transfer_->Start(Transfer::Wait::FirstByte, TimeoutsOf(options_));
    if (err) {
        Learn();
        return Failure(err);
    }
    return ERROR_SUCCESS;
}

DWORD FtpRequest::Read(char *buffer, DWORD size, DWORD *got)
{
    DWORD err = transfer_->Read(buffer, size, got, TimeoutsOf(options_));
    if (err) {
        Learn();
        return Failure(err);
    }
    if (*got == 0 && size > 0) {
        Learn();
        if (const FtpReply *last = LastReply())
            SetLastResponse(static_cast<DWORD>(last->code), last->text);
    }
    return ERROR_SUCCESS;
}

const FtpReply *FtpRequest::ReplyTo(std::string_view command) const
{
    for (auto r = Replies().rbegin(); r != Replies().rend(); ++r) {
        if (r->command == command)
            return &*r;
    }
    return nullptr;
}

const FtpReply *FtpRequest::LastReply() const
{
    for (auto r = Replies().rbegin(); r != Replies().rend(); ++r) {
        if (Verb(r->command) != "QUIT")
            return &*r;
    }
    return nullptr;
}

bool FtpRequest::RefusedAt(std::string_view verb) const
{
    const FtpReply *last = LastReply();
    return last && last->code >= 400 && Verb(last->command) == verb;
}

bool FtpRequest::Counts(const FtpReply &reply) const
{
    // Refusals libcurl gets past (SIZE, EPSV before PASV...) and those of
    // the quote commands, which their callers judge, do not end a request.
    static const char *const passed[] = {"SIZE", "MDTM", "EPSV", "EPRT", "QUIT", "FEAT", "SYST", "REST", "PRET", "ABOR"};
    std::string verb = Verb(reply.command);
    for (const char *p : passed) {
        if (verb == p)
            return false;
    }
    if (restoring_ && reply.command == restoreCommand_)
        return false;
    for (const std::string &c : commands_) {
        if (reply.command == c)
            return false;
    }
    return true;
}

DWORD FtpRequest::Failure(DWORD transferError)
{
    for (auto r = Replies().rbegin(); r != Replies().rend(); ++r) {
        if (r->code >= 400 && Counts(*r)) {
            SetLastResponse(static_cast<DWORD>(r->code), r->text);
            // A refused login is told in the server's words (a 530 to a
            // later command means the session was lost: a login failure).
            std::string verb = Verb(r->command);
            if (verb == "USER" || verb == "PASS" || verb == "ACCT")
                return ERROR_INTERNET_EXTENDED_ERROR;
            return FromFtpReply(r->code);
        }
    }
    return transferError;
}

void FtpRequest::Learn()
{
    if (learned_ || !transfer_)
        return;
    char *entry = nullptr;
    if (curl_easy_getinfo(transfer_->Easy(), CURLINFO_FTP_ENTRY_PATH, &entry) != CURLE_OK || !entry)
        return;
    // This request logged in: a new connection, at the login directory
    // unless the CWD that set the current one again went through.
    learned_ = true;
    try {
        std::string path = entry;
        if (control_.entry_.empty())
            control_.entry_ = path;
        if (restoring_) {
            const FtpReply *reply = ReplyTo(restoreCommand_);
            if (!reply || reply->code >= 400)
                control_.directory_ = path;
        } else if (control_.directory_.empty()) {
            control_.directory_ = path;
        }
    } catch (const std::bad_alloc &) {
        control_.directory_.clear();
    }
}

int FtpRequest::OnDebug(CURL *, curl_infotype type, char *data, size_t size, void *self)
{
    FtpRequest *r = static_cast<FtpRequest *>(self);
    try {
        if (type == CURLINFO_HEADER_OUT) {
            std::string_view command(data, size);
            while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
                command.remove_suffix(1);
            // The password stays out of the record.
            r->reader_.Sent(Verb(command) == "PASS" ? std::string("PASS") : std::string(command));
        } else if (type == CURLINFO_DATA_IN && r->listing_) {
            r->transfer_->Deliver(data, size);
        } else if (type == CURLINFO_HEADER_IN) {
            r->reader_.Take(std::string_view(data, size));
        }
    } catch (const std::bad_alloc &) {
        // The record loses a line; the transfer goes on.
    }
    return 0;
}

// ---- the connection handle ----

FtpConnection::FtpConnection(const std::shared_ptr<SessionHandle> &session, const ConnectParams &params,
                             FtpLogin login)
    : ConnectionHandle(INTERNET_HANDLE_TYPE_CONNECT_FTP, session, params), control_(std::move(login), &ClosedFlag())
{
}

DWORD FtpConnection::Acquire()
{
    bool idle = false;
    return busy_.compare_exchange_strong(idle, true) ? ERROR_SUCCESS : ERROR_FTP_TRANSFER_IN_PROGRESS;
}

void FtpConnection::Release() { busy_.store(false); }

FtpCall::~FtpCall()
{
    if (held_)
        connection_->Release();
}

DWORD FtpCall::Enter(HINTERNET connect)
{
    if (DWORD err = FindHandleOf(connect, connection_))
        return err;
    if (DWORD err = connection_->Acquire())
        return err;
    held_ = true;
    return ERROR_SUCCESS;
}

DWORD ConnectFtp(const std::shared_ptr<SessionHandle> &session, const ConnectParams &params,
                 std::shared_ptr<Handle> &connection)
{
    FtpLogin login;
    if (DWORD err = MakeFtpLogin(params.server, params.port, params.hasUser, params.user, params.hasPassword,
                                 params.password, (params.flags & INTERNET_FLAG_PASSIVE) != 0, login))
        return err;
    auto ftp = std::make_shared<FtpConnection>(session, params, std::move(login));
    if (DWORD err = ftp->Control().Init())
        return err;
    if (DWORD err = ftp->Control().Connect(ftp->Settings()))
        return err;
    connection = ftp;
    return ERROR_SUCCESS;
}

}  // namespace wininet

using namespace wininet;

namespace {

// One command with a name argument, on a connection held for the call.
BOOL NameCommand(HINTERNET connect, const char *verb, LPCSTR name)
{
    DWORD err = Guard([&]() -> DWORD {
        FtpCall call;
        if (DWORD e = call.Enter(connect))
            return e;
        if (!name || !IsSafeFtpArgument(name))
            return ERROR_INVALID_PARAMETER;
        FtpConnection &c = call.Connection();
        return c.Control().Commands(c.Settings(), {std::string(verb) + " " + name});
    });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

BOOL WINAPI FtpCreateDirectoryA(HINTERNET connect, LPCSTR directory) { return NameCommand(connect, "MKD", directory); }

BOOL WINAPI FtpRemoveDirectoryA(HINTERNET connect, LPCSTR directory) { return NameCommand(connect, "RMD", directory); }

BOOL WINAPI FtpDeleteFileA(HINTERNET connect, LPCSTR fileName) { return NameCommand(connect, "DELE", fileName); }

BOOL WINAPI FtpRenameFileA(HINTERNET connect, LPCSTR existing, LPCSTR newName)
{
    DWORD err = Guard([&]() -> DWORD {
        FtpCall call;
        if (DWORD e = call.Enter(connect))
            return e;
        if (!existing || !newName || !IsSafeFtpArgument(existing) || !IsSafeFtpArgument(newName))
            return ERROR_INVALID_PARAMETER;
        FtpConnection &c = call.Connection();
        return c.Control().Commands(c.Settings(), {std::string("RNFR ") + existing, std::string("RNTO ") + newName});
    });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FtpSetCurrentDirectoryA(HINTERNET connect, LPCSTR directory)
{
    DWORD err = Guard([&]() -> DWORD {
        FtpCall call;
        if (DWORD e = call.Enter(connect))
            return e;
        if (!directory || !IsSafeFtpArgument(directory))
            return ERROR_INVALID_PARAMETER;
        FtpConnection &c = call.Connection();
        return c.Control().ChangeDirectory(c.Settings(), directory);
    });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FtpGetCurrentDirectoryA(HINTERNET connect, LPSTR currentDirectory, LPDWORD length)
{
    DWORD err = Guard([&]() -> DWORD {
        FtpCall call;
        if (DWORD e = call.Enter(connect))
            return e;
        if (!length)
            return ERROR_INVALID_PARAMETER;
        FtpConnection &c = call.Connection();
        std::string dir;
        if (DWORD e = c.Control().CurrentDirectory(c.Settings(), dir))
            return e;
        // Too small: the size needed, the terminating zero counted, and nothing written.
        DWORD needed = static_cast<DWORD>(dir.size() + 1);
        if (!currentDirectory || *length < needed) {
            *length = needed;
            return ERROR_INSUFFICIENT_BUFFER;
        }
        std::memcpy(currentDirectory, dir.c_str(), needed);
        *length = static_cast<DWORD>(dir.size());
        return ERROR_SUCCESS;
    });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}
