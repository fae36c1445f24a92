// Errors in one place: what libcurl and OpenSSL report, as the WinINet code
// for what really happened; and the calling thread's last server reply.
#include "internal.h"

#include <openssl/x509_vfy.h>

#include <cerrno>
#include <cstring>

namespace wininet {

DWORD FromVerifyResult(long verifyResult)
{
    switch (verifyResult) {
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
        return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_CERT_CHAIN_TOO_LONG:
    case X509_V_ERR_PATH_LENGTH_EXCEEDED:
        return ERROR_INTERNET_INVALID_CA;
    case X509_V_ERR_CERT_REVOKED:
        return ERROR_INTERNET_SEC_CERT_REVOKED;
    default:
        return ERROR_INTERNET_SEC_INVALID_CERT;
    }
}

namespace {

long InfoLong(CURL *easy, CURLINFO info)
{
    long value = 0;
    if (!easy || curl_easy_getinfo(easy, info, &value) != CURLE_OK)
        return 0;
    return value;
}

bool ReachedServer(CURL *easy)
{
    curl_off_t pretransfer = 0;
    if (!easy || curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &pretransfer) != CURLE_OK)
        return false;
    return pretransfer > 0;
}

// A connection that broke: reset by the peer, or ended otherwise.
DWORD Broken(CURL *easy)
{
    long os = InfoLong(easy, CURLINFO_OS_ERRNO);
    if (os == ECONNRESET || os == EPIPE)
        return ERROR_INTERNET_CONNECTION_RESET;
    return ERROR_INTERNET_CONNECTION_ABORTED;
}

}  // namespace

DWORD FromCurl(CURLcode code, CURL *easy)
{
    switch (code) {
    case CURLE_OK:
        return ERROR_SUCCESS;
    case CURLE_UNSUPPORTED_PROTOCOL:
        // The scheme was checked before libcurl saw the URL: coming from a
        // server, this is a reply that is no HTTP (libcurl calls it HTTP/0.9)
        // or a redirect to a scheme that is not followed.
        if (InfoLong(easy, CURLINFO_REDIRECT_COUNT) > 0 && InfoLong(easy, CURLINFO_RESPONSE_CODE) / 100 == 3)
            return ERROR_HTTP_REDIRECT_FAILED;
        if (ReachedServer(easy))
            return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_NOT_BUILT_IN:
        return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_URL_MALFORMAT:
        // The caller's URL was checked before libcurl saw it: this one came in a redirect.
        if (InfoLong(easy, CURLINFO_RESPONSE_CODE) / 100 == 3)
            return ERROR_HTTP_REDIRECT_FAILED;
        return ERROR_INTERNET_INVALID_URL;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
    case CURLE_PROXY:
        return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
        return ERROR_INTERNET_TIMEOUT;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_TOO_MANY_REDIRECTS:
        return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_PARTIAL_FILE:
        return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_UPLOAD_FAILED:
        return Broken(easy);
    case CURLE_PEER_FAILED_VERIFICATION: {
        long verify = InfoLong(easy, CURLINFO_SSL_VERIFYRESULT);
        // libcurl's own host name check leaves OpenSSL's result clean.
        if (verify == X509_V_OK || verify == X509_V_ERR_UNSPECIFIED)
            return ERROR_INTERNET_SEC_CERT_CN_INVALID;
        return FromVerifyResult(verify);
    }
    case CURLE_SSL_ISSUER_ERROR:
        return ERROR_INTERNET_INVALID_CA;
    case CURLE_SSL_INVALIDCERTSTATUS:
        return ERROR_INTERNET_SEC_CERT_REVOKED;
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return ERROR_INTERNET_SEC_INVALID_CERT;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CLIENTCERT:
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_LOGIN_DENIED:
        return ERROR_INTERNET_LOGIN_FAILURE;
    case CURLE_ABORTED_BY_CALLBACK:
        return ERROR_INTERNET_OPERATION_CANCELLED;
    case CURLE_OUT_OF_MEMORY:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

DWORD FromFtpReply(int code)
{
    switch (code) {
    case 425:  // no data connection
        return ERROR_INTERNET_CANNOT_CONNECT;
    case 426:  // data connection closed, transfer aborted
        return ERROR_INTERNET_CONNECTION_ABORTED;
    case 530:  // not logged in
        return ERROR_INTERNET_LOGIN_FAILURE;
    default:  // the reply itself tells the rest
        return ERROR_INTERNET_EXTENDED_ERROR;
    }
}

namespace {

struct LastResponse {
    DWORD code = 0;
    std::string text;
};

thread_local LastResponse lastResponse;

}  // namespace

void SetLastResponse(DWORD code, std::string text)
{
    // Callers of InternetGetLastResponseInfoA commonly offer 200 characters:
    // a longer reply is kept as far as that goes, so that they see its start
    // rather than nothing at all.
    constexpr std::size_t kLimit = 199;
    if (text.size() > kLimit) {
        text.resize(kLimit);
        if (text.back() == '\r')
            text.pop_back();
    }
    lastResponse.code = code;
    lastResponse.text = std::move(text);
}

DWORD LastResponseCode() { return lastResponse.code; }

}  // namespace wininet

using namespace wininet;

BOOL WINAPI InternetGetLastResponseInfoA(LPDWORD error, LPSTR buffer, LPDWORD bufferLength)
{
    DWORD err = Guard([&]() -> DWORD {
        if (!error || !bufferLength)
            return ERROR_INVALID_PARAMETER;
        const std::string &text = lastResponse.text;
        DWORD length = static_cast<DWORD>(text.size());
        if (text.empty()) {
            if (buffer && *bufferLength > 0)
                buffer[0] = '\0';
            *bufferLength = 0;
            *error = lastResponse.code;
            return ERROR_SUCCESS;
        }
        // The length asked for counts no terminating zero, the buffer must hold one.
        if (!buffer || *bufferLength <= length) {
            *bufferLength = length;
            return ERROR_INSUFFICIENT_BUFFER;
        }
        std::memcpy(buffer, text.data(), length);
        buffer[length] = '\0';
        *bufferLength = length;
        *error = lastResponse.code;
        return ERROR_SUCCESS;
    });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}
