// Gopher: connections, and the file handles of InternetOpenUrlA. libcurl
// sends the selector of gopher://host:port/<type><selector> (the item type
// and the slash before it are not part of it) and hands back the server's
// bytes unchanged: a menu as the server lists it, an item byte for byte.
#include "internal.h"

namespace wininet {

namespace {

class GopherConnection : public ConnectionHandle {
public:
    GopherConnection(const std::shared_ptr<SessionHandle> &session, const ConnectParams &params)
        : ConnectionHandle(INTERNET_HANDLE_TYPE_CONNECT_GOPHER, session, params)
    {
    }
};

class GopherFile : public UrlFile {
public:
    GopherFile(const std::shared_ptr<SessionHandle> &session, OpenUrlParams params)
        : UrlFile(INTERNET_HANDLE_TYPE_GOPHER_FILE, session, std::move(params))
    {
    }

    // Gopher has no response head: the request is answered once the first
    // byte (or the end of an empty item) has come.
    DWORD Begin() { return Open(Transfer::Wait::FirstByte); }

protected:
    DWORD Prepare(Transfer &transfer, const Options &options) override
    {
        return ConfigureRequest(transfer, options, params_.url, params_.flags, false);
    }
};

}  // namespace

DWORD ConnectGopher(const std::shared_ptr<SessionHandle> &session, const ConnectParams &params,
                    std::shared_ptr<Handle> &connection)
{
    connection = std::make_shared<GopherConnection>(session, params);
    return ERROR_SUCCESS;
}

DWORD OpenGopherUrl(const std::shared_ptr<SessionHandle> &session, const OpenUrlParams &params,
                    std::shared_ptr<Handle> &file)
{
    // libcurl sends the selector decoded: %0D%0A in it would send one line
    // for the server and another of the URL's choosing. (%09 is gopher's own
    // separator of a search and stays.)
    if (Unescape(params.url.text).find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return ERROR_INTERNET_INVALID_URL;
    auto gopher = std::make_shared<GopherFile>(session, params);
    if (DWORD err = gopher->Begin())
        return err;
    file = gopher;
    return ERROR_SUCCESS;
}

}  // namespace wininet
