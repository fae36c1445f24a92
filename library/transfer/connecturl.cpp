// InetConnectUrl: opening the resource behind a URL; one-call download and upload.
#include "../core/arguments.h"
#include "../core/handlers.h"
#include "../core/report.h"
#include "../core/resource.h"
#include "../core/state.h"

#define URL_DOWNLOAD 0x1u
#define URL_UPLOAD 0x2u
#define URL_OWN_BITS (URL_DOWNLOAD | URL_UPLOAD)

// The pairing is exact, entry by entry, as scripts have always used it.
static const BYTE UrlOptionList[] =
    "\x08" "DOWNLOAD" "\x06" "UPLOAD" "\x07" "USETEMP" "\x07" "NOCACHE" "\x04" "NOUI" "\x04" "LINK"
    "\x06" "RESYNC" "\x05" "HTTPS" "\x0B" "NOHOSTCHECK" "\x0B" "NODATECHECK" "\x04" "HTTP" "\x06" "NOAUTH"
    "\x09" "NOCOOKIES" "\x0A" "NOREDIRECT" "\x06" "SECURE" "\x09" "KEEPALIVE" "\x0C" "NOCACHEWRITE"
    "\x07" "PASSIVE" "\x05" "REUSE" "\x07" "RAWDATA" "\x06" "RELOAD";
static const DWORD UrlOptionValues[] = {
    URL_DOWNLOAD,
    URL_UPLOAD,
    INTERNET_FLAG_NEED_FILE,
    INTERNET_FLAG_PRAGMA_NOCACHE,
    INTERNET_FLAG_NO_UI,
    INTERNET_FLAG_HYPERLINK,
    INTERNET_FLAG_RESYNCHRONIZE,
    INTERNET_FLAG_IGNORE_CERT_CN_INVALID,
    INTERNET_FLAG_IGNORE_CERT_DATE_INVALID,
    INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS,
    INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP,
    INTERNET_FLAG_NO_AUTH,
    INTERNET_FLAG_NO_COOKIES,
    INTERNET_FLAG_NO_AUTO_REDIRECT,
    INTERNET_FLAG_SECURE,
    INTERNET_FLAG_KEEP_CONNECTION,
    INTERNET_FLAG_NO_CACHE_WRITE,
    INTERNET_FLAG_PASSIVE,
    INTERNET_FLAG_EXISTING_CONNECT,
    INTERNET_FLAG_RAW_DATA,
    INTERNET_FLAG_RELOAD,
};

HANDLER(InetConnectUrl)
{
    if (!State.SessionHandle)
        return ReportResourceMessage(ctx, slot, NULL, IDS_NO_SESSION);

    DWORD options = 0;
    slot->Value = HOST.ParseKeywords(ctx, args, HOST_KW_ARGUMENT | 3, UrlOptionList, UrlOptionValues, &options, 0);
    if (slot->Value)
        return ARGUMENT_ERROR(MINOR_NOT_KEYWORD, 3);

    LPSTR url;
    if (DWORD refused = CopyText(ctx, args, 1, &url))
        return refused;
    HandleNode *node = (HandleNode *)GlobalAlloc(GMEM_FIXED, sizeof(HandleNode));
    if (!node) {
        HOST.FreeMem(url);
        return REXX_ERROR_RESOURCES;
    }
    LinkAtHead(node);

    DWORD headersLength = 0;
    LPCSTR headers = HOST.GetArg(ctx, args, 4, &headersLength);
    node->Handle = InternetOpenUrlA(State.SessionHandle, url, headers, headersLength, options & ~URL_OWN_BITS, 0);
    if (!node->Handle) {
        DWORD result = ReportFailure(ctx, slot);
        HOST.FreeMem(url);
        DropNewHead();
        return result;
    }
    HOST.FreeMem(url);

    DWORD result;
    if (options & URL_DOWNLOAD) {
        slot->ErrorMode = ERRORMODE_NONE; // tells InetIn: our arguments, whole resource
        result = InetIn(ctx, args, slot);
    } else if (options & URL_UPLOAD) {
        slot->ErrorMode = ERRORMODE_NONE;
        result = InetOut(ctx, args, slot);
    } else {
        DWORD length;
        LPCSTR name = HOST.GetArg(ctx, args, 2, &length);
        DWORD stored = HOST.SetVar(ctx, name, 0, (ULONG_PTR)node, HOST_SET_NUMBER);
        if (!stored)
            return 0; // the handle stays open and current
        result = StoreFailure(name, stored, 2);
    }
    CloseHead();
    return result;
}
