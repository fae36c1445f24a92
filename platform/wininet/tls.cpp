// Certificate checks for https. Verification is on unless a flag relaxes
// exactly one check: INTERNET_FLAG_IGNORE_CERT_CN_INVALID the host name,
// INTERNET_FLAG_IGNORE_CERT_DATE_INVALID the validity dates. The user's root
// store (<userdir>/certificates/root.pem) is trusted besides the system's.
#include "internal.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <sys/stat.h>

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

}  // namespace

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
