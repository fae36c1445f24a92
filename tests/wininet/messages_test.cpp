// wininet.dll's message table, as FormatMessageA reads it.
#include "support.h"

#include <cstring>

namespace {

class Messages : public test::WinInetTest {};

std::string Message(DWORD code)
{
    char text[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                             GetModuleHandleA("wininet.dll"), code, 0, text, sizeof text, nullptr);
    return std::string(text, n);
}

TEST_F(Messages, EveryCodeTheStandInReportsHasItsText)
{
    struct Case {
        DWORD code;
        const char *text;
    } cases[] = {
        {ERROR_INTERNET_TIMEOUT, "The operation timed out"},
        {ERROR_INTERNET_EXTENDED_ERROR, "The server returned extended information"},
        {ERROR_INTERNET_INTERNAL_ERROR, "An internal error occurred in the Microsoft Internet extensions"},
        {ERROR_INTERNET_INVALID_URL, "The URL is invalid"},
        {ERROR_INTERNET_UNRECOGNIZED_SCHEME, "The URL does not use a recognized protocol"},
        {ERROR_INTERNET_NAME_NOT_RESOLVED, "The server name or address could not be resolved"},
        {ERROR_INTERNET_INVALID_OPTION, "The option is invalid"},
        {ERROR_INTERNET_BAD_OPTION_LENGTH, "The length is incorrect for the option type"},
        {ERROR_INTERNET_OPTION_NOT_SETTABLE, "The option value cannot be set"},
        {ERROR_INTERNET_LOGIN_FAILURE, "The login request was denied"},
        {ERROR_INTERNET_OPERATION_CANCELLED, "The operation has been canceled"},
        {ERROR_INTERNET_INCORRECT_HANDLE_TYPE, "The supplied handle is the wrong type for the requested operation"},
        {ERROR_INTERNET_INCORRECT_HANDLE_STATE, "The handle is in the wrong state for the requested operation"},
        {ERROR_INTERNET_CANNOT_CONNECT, "A connection with the server could not be established"},
        {ERROR_INTERNET_CONNECTION_ABORTED, "The connection with the server was terminated abnormally"},
        {ERROR_INTERNET_CONNECTION_RESET, "The connection with the server was reset"},
        {ERROR_INTERNET_SEC_CERT_DATE_INVALID, "The date in the certificate is invalid or has expired"},
        {ERROR_INTERNET_SEC_CERT_CN_INVALID, "The host name in the certificate is invalid or does not match"},
        {ERROR_INTERNET_INVALID_CA, "The certificate authority is invalid or incorrect"},
        {ERROR_HTTP_INVALID_SERVER_RESPONSE, "The server returned an invalid or unrecognized response"},
        {ERROR_HTTP_INVALID_HEADER, "The supplied HTTP header is invalid"},
        {ERROR_HTTP_REDIRECT_FAILED, "The HTTP redirect request failed"},
        {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "An error occurred in the secure channel support"},
        {ERROR_INTERNET_SEC_INVALID_CERT, "The supplied certificate is invalid"},
        {ERROR_INTERNET_SEC_CERT_REVOKED, "The supplied certificate has been revoked"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Message(c.code), std::string(c.text) + "\r\n") << c.code;
}

TEST_F(Messages, CodesWithoutAKnownTextHaveNone)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Message(ERROR_INTERNET_NOT_INITIALIZED), "");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

}  // namespace
