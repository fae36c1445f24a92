// FTP's private parts shared by its files: the control connection on
// libcurl, one request on it, and the connection handle of InternetConnectA.
#ifndef PLATFORM_WININET_FTP_H
#define PLATFORM_WININET_FTP_H

#include "ftp_listing.h"
#include "internal.h"

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace wininet {

// Where and as whom a control connection logs in.
struct FtpLogin {
    std::string host;
    INTERNET_PORT port = INTERNET_DEFAULT_FTP_PORT;
    std::string user;
    std::string password;
    bool passive = true;
};

// The login of InternetConnectA's arguments or a URL's: anonymous without a
// user; a password without a user is refused.
DWORD MakeFtpLogin(const std::string &host, INTERNET_PORT port, bool hasUser, const std::string &user,
                   bool hasPassword, const std::string &password, bool passive, FtpLogin &login);

// Whether text can be sent as a command argument: no line breaks, no NUL.
bool IsSafeFtpArgument(std::string_view text);

class FtpRequest;

// One FTP control connection: a libcurl multi handle whose connection cache
// keeps the logged-in connection between requests. libcurl is told never to
// change directory itself (CURLFTPMETHOD_NOCWD), so the server's current
// directory is what this side's CWD commands made it; it is kept here and
// restored when libcurl had to log in anew.
class FtpControl {
public:
    FtpControl(FtpLogin login, const std::atomic<bool> *cancelled);
    FtpControl(const FtpControl &) = delete;
    FtpControl &operator=(const FtpControl &) = delete;
    ~FtpControl();

    DWORD Init();
    const FtpLogin &Login() const { return login_; }
    // Ends a wait of a request on another thread (the handle was closed).
    void Wakeup();

    // Connects and logs in; the server's directory at login is the current one.
    DWORD Connect(const Options &options);
    // Sends the commands in one request. Succeeds when each reply is
    // positive (1xx to 3xx); else fails with the first refusal, kept as the
    // thread's last response. replies receives one reply per command.
    DWORD Commands(const Options &options, const std::vector<std::string> &commands,
                   std::vector<FtpReply> *replies = nullptr);
    // CWD, then PWD to learn where that led.
    DWORD ChangeDirectory(const Options &options, const std::string &directory);
    // PWD: the directory as the server reports it.
    DWORD CurrentDirectory(const Options &options, std::string &directory);
    // Whether the server lists with MLSD (it names MLST among its FEAT features).
    DWORD OffersMlsd(const Options &options, bool &mlsd);
    void NoMlsd() { mlsd_ = false; }
    // A download started and its first data waited for; a server that refuses
    // SIZE gets the RETR alone, so that the refusal shown is the RETR's.
    DWORD StartDownload(const Options &options, const std::string &file, bool ascii,
                        std::unique_ptr<FtpRequest> &request);

private:
    friend class FtpRequest;

    const FtpLogin login_;
    const std::atomic<bool> *const cancelled_;
    CURLM *multi_ = nullptr;
    std::string entry_;      // where the login leads
    std::string directory_;  // the current directory; "" when unknown
    bool featuresKnown_ = false;
    bool mlsd_ = false;
    // A text transfer left the server in TYPE A behind libcurl's back.
    bool serverInText_ = false;
};

// One request on a control connection, one libcurl transfer: the commands
// first (CURLOPT_QUOTE, each marked with '*' so that a refusal does not end
// the request and close the connection), then a download, a listing, an
// upload or nothing. Every command sent and reply received is recorded (the
// debug callback is the one that sees both, in order), so a reply can be
// told by the command that drew it.
class FtpRequest {
public:
    FtpRequest(FtpControl &control, const Options &options);
    FtpRequest(const FtpRequest &) = delete;
    FtpRequest &operator=(const FtpRequest &) = delete;
    ~FtpRequest();

    DWORD Init();
    DWORD Command(const std::string &command);
    DWORD Download(std::string_view file, bool ascii, bool withSize);
    DWORD Listing(std::string_view directory, const char *command);
    // An upload of size bytes given by read (CURLOPT_READFUNCTION).
    DWORD Upload(std::string_view file, bool ascii, bool append, curl_read_callback read, void *data,
                 curl_off_t size);

    // Runs the request to its end.
    DWORD Run();
    // Starts it and waits for the first data (or the end).
    DWORD Start();
    // At most size bytes of the data as they come; 0 only at the end.
    DWORD Read(char *buffer, DWORD size, DWORD *got);

    // The last reply to command (matched whole), or nullptr.
    const FtpReply *ReplyTo(std::string_view command) const;
    // The last reply, QUIT's aside.
    const FtpReply *LastReply() const;
    // Whether the request ended on a refusal of a command with this verb.
    bool RefusedAt(std::string_view verb) const;
    const std::vector<FtpReply> &Replies() const { return reader_.Replies(); }

private:
    static int OnDebug(CURL *easy, curl_infotype type, char *data, size_t size, void *self);
    DWORD Prepare();
    // The error of a failed request: the server's refusal when there is one
    // (kept as the last response), else what libcurl found.
    DWORD Failure(DWORD transferError);
    // What the request taught about the connection (a new login).
    void Learn();
    bool Counts(const FtpReply &reply) const;
    DWORD SetPath(std::string_view path);
    DWORD TextMode(bool ascii);

    FtpControl &control_;
    const Options options_;
    std::string base_;
    std::vector<std::string> commands_;  // sent with '*'
    curl_slist *quote_ = nullptr;
    curl_slist *prequote_ = nullptr;
    bool restoring_ = false;
    std::string restoreCommand_;

    // the record of the exchange
    bool listing_ = false;
    FtpReplyReader reader_;
    bool learned_ = false;

    std::unique_ptr<Transfer> transfer_;  // last: it goes first, while the record still stands
};

// The handle of InternetConnectA with INTERNET_SERVICE_FTP.
class FtpConnection : public ConnectionHandle {
public:
    FtpConnection(const std::shared_ptr<SessionHandle> &session, const ConnectParams &params, FtpLogin login);
    FtpControl &Control() { return control_; }
    // One call at a time, and none while a find handle is open on it:
    // ERROR_FTP_TRANSFER_IN_PROGRESS otherwise.
    DWORD Acquire();
    void Release();
    void OnClose() override { control_.Wakeup(); }

private:
    FtpControl control_;
    std::atomic<bool> busy_{false};
};

// An FTP call's hold on the connection it was given: found, of the right
// type and not busy, in that order; released at the end of the call unless
// it passes to a find handle.
class FtpCall {
public:
    FtpCall() = default;
    FtpCall(const FtpCall &) = delete;
    FtpCall &operator=(const FtpCall &) = delete;
    ~FtpCall();
    DWORD Enter(HINTERNET connect);
    FtpConnection &Connection() { return *connection_; }
    const std::shared_ptr<FtpConnection> &Shared() const { return connection_; }
    // The hold now belongs to someone else, who releases it.
    void Keep() { held_ = false; }

private:
    std::shared_ptr<FtpConnection> connection_;
    bool held_ = false;
};

// A remote name as a path in a libcurl FTP URL (percent-encoded, a leading
// '/' as %2F so it stays absolute).
std::string EncodeFtpPath(std::string_view path);

}  // namespace wininet

#endif  // PLATFORM_WININET_FTP_H
