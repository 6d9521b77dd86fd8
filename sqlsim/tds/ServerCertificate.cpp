#include "ServerCertificate.h"

#include <QDir>
#include <QFile>

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

namespace sqlsim::tds {

std::string takeOpenSslError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return "unknown TLS error";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

namespace {

void check(bool ok, const char* what) {
    if (!ok)
        throw TlsError(std::string(what) + ": " + takeOpenSslError());
}

void addExtension(X509* certificate, int nid, const QByteArray& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.constData());
    check(extension != nullptr, "certificate extension");
    const int added = X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
    check(added == 1, "certificate extension");
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TlsError("cannot read " + path.toStdString());
    return file.readAll();
}

BioPtr memoryBio(const QByteArray& bytes) {
    BioPtr bio(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
    check(bio != nullptr, "memory buffer");
    return bio;
}

QByteArray drain(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return QByteArray(data, int(length));
}

void writeFile(const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions) {
    QFile file(path);
    // Created with the final permissions so that a private key is never readable by others,
    // not even for a moment.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, permissions) || !file.setPermissions(permissions) ||
        file.write(bytes) != bytes.size() || !file.flush())
        throw TlsError("cannot write " + path.toStdString());
}

} // namespace

ServerCertificate::ServerCertificate(X509Ptr certificate, EvpPkeyPtr key)
    : certificate_(std::move(certificate)), key_(std::move(key)) {}

ServerCertificate ServerCertificate::selfSigned(const QString& hostName) {
    const QByteArray host = hostName.isEmpty() ? QByteArrayLiteral("localhost") : hostName.toUtf8();
    EvpPkeyPtr key(EVP_RSA_gen(2048));
    check(key != nullptr, "key generation");
    X509Ptr certificate(X509_new());
    check(certificate != nullptr, "certificate");
    X509* c = certificate.get();
    check(X509_set_version(c, 2) == 1, "certificate version");

    unsigned char serial[16];
    check(RAND_bytes(serial, sizeof serial) == 1, "serial number");
    serial[0] &= 0x7F; // a positive serial number
    const std::unique_ptr<BIGNUM, OpenSslDeleter<BN_free>> number(BN_bin2bn(serial, sizeof serial, nullptr));
    check(number && BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(c)) != nullptr, "serial number");

    check(X509_gmtime_adj(X509_getm_notBefore(c), -3600) != nullptr, "validity");
    check(X509_gmtime_adj(X509_getm_notAfter(c), 365L * 24 * 3600) != nullptr, "validity");
    check(X509_set_pubkey(c, key.get()) == 1, "public key");
    X509_NAME* name = X509_get_subject_name(c);
    check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                     reinterpret_cast<const unsigned char*>(host.constData()), int(host.size()), -1,
                                     0) == 1,
          "subject");
    check(X509_set_issuer_name(c, name) == 1, "issuer");
    QByteArray alternatives = "DNS:" + host;
    if (host != "localhost")
        alternatives += ",DNS:localhost";
    alternatives += ",IP:127.0.0.1";
    addExtension(c, NID_subject_alt_name, alternatives);
    addExtension(c, NID_key_usage, "critical,digitalSignature,keyEncipherment");
    addExtension(c, NID_ext_key_usage, "serverAuth");
    check(X509_sign(c, key.get(), EVP_sha256()) > 0, "signature");
    return ServerCertificate(std::move(certificate), std::move(key));
}

ServerCertificate ServerCertificate::fromPemFiles(const QString& certificatePath, const QString& keyPath) {
    const QByteArray certificateText = readFile(certificatePath);
    const QByteArray keyText = readFile(keyPath);
    X509Ptr certificate(PEM_read_bio_X509(memoryBio(certificateText).get(), nullptr, nullptr, nullptr));
    if (!certificate)
        throw TlsError("no PEM certificate in " + certificatePath.toStdString() + ": " + takeOpenSslError());
    EvpPkeyPtr key(PEM_read_bio_PrivateKey(memoryBio(keyText).get(), nullptr, nullptr, nullptr));
    if (!key)
        throw TlsError("no PEM private key in " + keyPath.toStdString() + ": " + takeOpenSslError());
    if (X509_check_private_key(certificate.get(), key.get()) != 1)
        throw TlsError("the key in " + keyPath.toStdString() +
                       " does not belong to the certificate: " + takeOpenSslError());
    return ServerCertificate(std::move(certificate), std::move(key));
}

ServerCertificate ServerCertificate::keptIn(const QString& dir, const QString& hostName) {
    const QString certificatePath = QDir(dir).filePath(certificateFileName());
    const QString keyPath = QDir(dir).filePath(keyFileName());
    if (QFile::exists(certificatePath) && QFile::exists(keyPath)) {
        try {
            return fromPemFiles(certificatePath, keyPath);
        } catch (const TlsError&) {
            // A damaged pair is replaced, as a server would make a new one.
        }
    }
    if (!QDir().mkpath(dir))
        throw TlsError("cannot create " + dir.toStdString());
    ServerCertificate made = selfSigned(hostName);
    made.writePemFiles(certificatePath, keyPath);
    return made;
}

void ServerCertificate::writePemFiles(const QString& certificatePath, const QString& keyPath) const {
    BioPtr keyBio(BIO_new(BIO_s_mem()));
    check(keyBio && PEM_write_bio_PrivateKey(keyBio.get(), key_.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "key export");
    writeFile(keyPath, drain(keyBio.get()), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    writeFile(certificatePath, certificatePem(),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
}

QByteArray ServerCertificate::certificatePem() const {
    BioPtr bio(BIO_new(BIO_s_mem()));
    check(bio && PEM_write_bio_X509(bio.get(), certificate_.get()) == 1, "certificate export");
    return drain(bio.get());
}

QString ServerCertificate::fingerprint() const {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    check(X509_digest(certificate_.get(), EVP_sha256(), digest, &length) == 1, "fingerprint");
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex(':').toUpper());
}

} // namespace sqlsim::tds
