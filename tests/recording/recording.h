// A WinINet that records every call and answers as a test scripts it.
#pragma once

#include <wininet.h>

#include <string>
#include <vector>

#define RECORDING_API __attribute__((visibility("default")))

namespace recording {

// One entry of the listing the FTP finds deliver.
struct FindEntry {
    std::string name;
    ULONGLONG size = 0;
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
};

struct Call {
    std::string function;
    std::vector<std::string> args; // handles as "h<n>", null pointers as "null", flags in hex
    RECORDING_API std::string Text() const; // "Function(a, b, c)"
};

RECORDING_API void Reset();
RECORDING_API std::vector<Call> Calls();
RECORDING_API std::vector<Call> CallsTo(const std::string &function);
RECORDING_API std::vector<std::string> CallNames();
RECORDING_API std::string Name(HINTERNET handle);

// The next call of `function` (after `skip` successful ones) fails with `error`.
RECORDING_API void FailNext(const std::string &function, DWORD error, int skip = 0);
// What InternetReadFile delivers on every handle, at most `chunk` bytes a read (0: as asked).
RECORDING_API void SetReadData(const std::string &data, DWORD chunk = 0);
// InternetWriteFile takes at most this many bytes a call.
RECORDING_API void SetWriteLimit(DWORD limit);
RECORDING_API std::string Written();
// What InternetGetLastResponseInfoA reports.
RECORDING_API void SetResponse(DWORD error, const std::string &text);
RECORDING_API size_t OpenHandles();
// InternetGetConnectedState(Ex) flags, the connection number InternetDial gives.
RECORDING_API void SetConnectedState(DWORD flags);
// Each FtpFindFirstFileA delivers these from the first (none: ERROR_NO_MORE_FILES), each
// InternetFindNextFileA the next on its handle.
RECORDING_API void SetFindEntries(const std::vector<FindEntry> &entries);
// What FtpGetCurrentDirectoryA reports ("/pub" unless set).
RECORDING_API void SetCurrentDirectory(const std::string &directory);
RECORDING_API void SetDialConnection(DWORD_PTR connection);
// The name InternetGetConnectedStateEx writes into the caller's buffer (cut to fit, zero-terminated).
RECORDING_API void SetConnectionName(const std::string &name);

// What InternetQueryOptionA gives for an option: these bytes, with the size it
// reports after a fetch (the bytes' size unless given). A buffer too small (or
// none) fails with ERROR_INSUFFICIENT_BUFFER and the size. Options without a
// value succeed and write nothing.
RECORDING_API void SetOptionValue(DWORD option, const std::string &bytes, DWORD delivered = MAXDWORD);
// A text option: its bytes and a zero byte; the fetch reports the text's length.
RECORDING_API void SetOptionText(DWORD option, const std::string &text);
// An INTERNET_PROXY_INFO with its lists (null when absent) behind it, as WinINet lays it out.
RECORDING_API void SetProxyRecord(DWORD accessType, const char *proxy, const char *bypass);
// The bytes of the last InternetSetOptionA; a proxy record as "{type, proxy, bypass}".
RECORDING_API std::string LastOptionSet();

// The cookie data InternetGetCookie(Ex)A has for every URL; none: they fail with ERROR_NO_MORE_ITEMS.
RECORDING_API void SetCookieData(const std::string &data);
RECORDING_API void ClearCookieData();
// What InternetSetCookieExA returns, and the last error it leaves when that is not COOKIE_STATE_ACCEPT.
RECORDING_API void SetCookieState(DWORD state, DWORD error = 0);

} // namespace recording
