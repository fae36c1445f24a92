// Certificate checks for https. Verification is on unless a flag relaxes
// exactly one check: INTERNET_FLAG_IGNORE_CERT_CN_INVALID the host name,
// INTERNET_FLAG_IGNORE_CERT_DATE_INVALID the validity dates. The user's root
// store (<userdir>/certificates/root.pem) is trusted besides the system's.
#include "internal.h"

#include <platform/cp1252.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <sys/stat.h>

#include <ctime>

namespace wininet {

namespace {

// Four fixed policies, so that the pointer libcurl keeps never dangles.
const TlsPolicy kPolicies[2][2] = {{{false, false}, {false, true}}, {{true, false}, {true, true}}};

int AcceptBadDates(int ok, X509_STORE_CTX *store)
{
    if (ok)
        return 1;
    switch (X509_STORE_CTX_get_error(store)) {
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_CRL_HAS_EXPIRED:
        // Cleared, so that the handshake's verify result stays clean too.
        X509_STORE_CTX_set_error(store, X509_V_OK);
        return 1;
    default:
        return 0;
    }
}

bool IsFile(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The host the connection being set up is for (redirects included).
std::string TargetHost(CURL *easy)
{
    char *effective = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective) != CURLE_OK || !effective)
        return std::string();
    Url url;
    if (ParseUrl(effective, url))
        return std::string();
    return url.host;
}

CURLcode OnSslContext(CURL *easy, void *sslContext, void *data)
{
    SSL_CTX *ctx = static_cast<SSL_CTX *>(sslContext);
    const TlsPolicy *policy = static_cast<const TlsPolicy *>(data);
    try {
        std::string roots = UserRootStore();
        if (IsFile(roots)) {
            X509_STORE *store = SSL_CTX_get_cert_store(ctx);
            X509_LOOKUP *lookup = store ? X509_STORE_add_lookup(store, X509_LOOKUP_file()) : nullptr;
            if (lookup)
                X509_LOOKUP_load_file(lookup, roots.c_str(), X509_FILETYPE_PEM);
        }
        if (policy->checkName) {
            // OpenSSL checks the name in the chain verification, so that a
            // mismatch has its own verify result (libcurl checks it again).
            std::string host = TargetHost(easy);
            X509_VERIFY_PARAM *param = SSL_CTX_get0_param(ctx);
            if (param && !host.empty()) {
                if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1) {
                    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
                    X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
                }
            }
        }
        if (!policy->checkDates)
            SSL_CTX_set_verify(ctx, SSL_CTX_get_verify_mode(ctx), AcceptBadDates);
    } catch (...) {
        ERR_clear_error();
        return CURLE_OUT_OF_MEMORY;
    }
    ERR_clear_error();
    return CURLE_OK;
}

// A name's values, one a line in the certificate's order, in the ANSI code page.
std::string NameLines(X509_NAME *name)
{
    std::string out;
    for (int i = 0; name && i < X509_NAME_entry_count(name); ++i) {
        unsigned char *utf8 = nullptr;
        int length = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, i)));
        if (length < 0)
            continue;
        std::string line;
        for (int k = 0; k < length;) {
            unsigned char c = utf8[k];
            int extra = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
            char32_t code = extra ? c & (0x3F >> extra) : c;
            for (int j = 1; j <= extra && k + j < length; ++j)
                code = (code << 6) | (utf8[k + j] & 0x3F);
            k += extra + 1;
            line += static_cast<char>(code > 0xFFFF ? '?' : platform::cp1252::FromUnicode(static_cast<char16_t>(code)));
        }
        OPENSSL_free(utf8);
        out += line + "\r\n";
    }
    return out;
}

std::string TimeText(const ASN1_TIME *time)
{
    struct tm parts = {};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return std::string();
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

}  // namespace

std::string CertificateText(CURL *easy)
{
    curl_tlssessioninfo *info = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_TLS_SSL_PTR, &info) != CURLE_OK || !info ||
        info->backend != CURLSSLBACKEND_OPENSSL || !info->internals)
        return std::string();
    SSL *ssl = static_cast<SSL *>(info->internals);
    X509 *cert = SSL_get0_peer_certificate(ssl);
    if (!cert)
        return std::string();
    const SSL_CIPHER *cipher = SSL_get_current_cipher(ssl);
    int bits = cipher ? SSL_CIPHER_get_bits(cipher, nullptr) : 0;
    const char *strength = bits >= 128 ? "High" : bits >= 56 ? "Medium" : "Low";
    int signature = X509_get_signature_nid(cert);
    const char *signatureName = signature != NID_undef ? OBJ_nid2ln(signature) : nullptr;
    std::string text = "Subject:\r\n" + NameLines(X509_get_subject_name(cert));
    text += "Issuer:\r\n" + NameLines(X509_get_issuer_name(cert));
    text += "Effective Date:\t" + TimeText(X509_get0_notBefore(cert)) + "\r\n";
    text += "Expiration Date:\t" + TimeText(X509_get0_notAfter(cert)) + "\r\n";
    text += std::string("Security Protocol:\t") + SSL_get_version(ssl) + "\r\n";
    text += std::string("Signature Type:\t") + (signatureName ? signatureName : "") + "\r\n";
    text += std::string("Encryption Type:\t") + (cipher ? SSL_CIPHER_get_name(cipher) : "") + "\r\n";
    text += std::string("Privacy Strength:\t") + strength + " (" + std::to_string(bits) + " bits)";
    return text;
}

std::string UserRootStore() { return UserDirectory() + "/certificates/root.pem"; }

DWORD ConfigureTls(CURL *easy, const TlsPolicy &policy)
{
    const TlsPolicy *fixed = &kPolicies[policy.checkName ? 1 : 0][policy.checkDates ? 1 : 0];
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, policy.checkName ? 2L : 0L);
    // The user's roots are read for every connection, never from a cache.
    curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, 0L);
    if (curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &OnSslContext) != CURLE_OK)
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, fixed);
    if (!policy.checkName || !policy.checkDates) {
        // A connection or session that passed relaxed checks serves no other request.
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    }
    return ERROR_SUCCESS;
}

}  // namespace wininet
