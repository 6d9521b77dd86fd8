#pragma once
// Owners for the OpenSSL objects the TLS code keeps, and the error type it throws.

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace sqlsim::tds {

class TlsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

template <auto Free> struct OpenSslDeleter {
    template <typename T> void operator()(T* p) const { Free(p); }
};

using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509_free>>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY_free>>;
using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO_free_all>>;
using SslCtxPtr = std::unique_ptr<SSL_CTX, OpenSslDeleter<SSL_CTX_free>>;
using SslPtr = std::unique_ptr<SSL, OpenSslDeleter<SSL_free>>;

// The first queued OpenSSL error, as text, with the queue cleared: errors are per thread and a
// stale one would be reported against the next connection.
std::string takeOpenSslError();

} // namespace sqlsim::tds
