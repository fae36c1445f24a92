// FTP: the connection and the file handles have their places in the handle
// model (ConnectionHandle, UrlFile) but are not built yet; every FTP call
// fails loudly.
#include "internal.h"

namespace wininet {

DWORD ConnectFtp(const std::shared_ptr<SessionHandle> &, const ConnectParams &, std::shared_ptr<Handle> &)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

DWORD OpenFtpUrl(const std::shared_ptr<SessionHandle> &, const OpenUrlParams &, std::shared_ptr<Handle> &)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

}  // namespace wininet

namespace {

BOOL NotBuilt()
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

}  // namespace

BOOL WINAPI FtpGetFileA(HINTERNET, LPCSTR, LPCSTR, BOOL, DWORD, DWORD, DWORD_PTR) { return NotBuilt(); }
BOOL WINAPI FtpPutFileA(HINTERNET, LPCSTR, LPCSTR, DWORD, DWORD_PTR) { return NotBuilt(); }
BOOL WINAPI FtpRenameFileA(HINTERNET, LPCSTR, LPCSTR) { return NotBuilt(); }
BOOL WINAPI FtpDeleteFileA(HINTERNET, LPCSTR) { return NotBuilt(); }
BOOL WINAPI FtpCreateDirectoryA(HINTERNET, LPCSTR) { return NotBuilt(); }
BOOL WINAPI FtpRemoveDirectoryA(HINTERNET, LPCSTR) { return NotBuilt(); }
BOOL WINAPI FtpSetCurrentDirectoryA(HINTERNET, LPCSTR) { return NotBuilt(); }
BOOL WINAPI FtpGetCurrentDirectoryA(HINTERNET, LPSTR, LPDWORD) { return NotBuilt(); }

HINTERNET WINAPI FtpFindFirstFileA(HINTERNET, LPCSTR, LPWIN32_FIND_DATAA, DWORD, DWORD_PTR)
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
}

BOOL WINAPI InternetFindNextFileA(HINTERNET, LPVOID) { return NotBuilt(); }
