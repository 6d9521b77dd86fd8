#include "CertificateInfo.h"

#include "OpenSslHandles.h"

#include <QCryptographicHash>

#include <openssl/err.h>
#include <openssl/pem.h>

#include <ctime>

namespace {

std::optional<QString> nameText(const X509_NAME* name) {
    OpenSsl::BioPtr out(BIO_new(BIO_s_mem()));
    if (!out)
        return std::nullopt;
    // RFC 2253 but with non-ASCII left as UTF-8, so that Chinese names read as such; control
    // characters stay escaped.
    if (X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0)
        return std::nullopt;
    char* data = nullptr;
    const long length = BIO_get_mem_data(out.get(), &data);
    return QString::fromUtf8(data, qsizetype(length));
}

std::optional<QDateTime> timeValue(const ASN1_TIME* time) {
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return std::nullopt;
    const QDate date(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
    const QTime clock(parts.tm_hour, parts.tm_min, parts.tm_sec);
    if (!date.isValid() || !clock.isValid())
        return std::nullopt;
    return QDateTime(date, clock, Qt::UTC);
}

} // namespace

QString CertificateInfo::fingerprintText() const {
    return CertificateReader::fingerprintText(sha256);
}

QByteArray CertificateInfo::pem() const {
    QByteArray text = "-----BEGIN CERTIFICATE-----\n";
    const QByteArray body = der.toBase64();
    for (qsizetype at = 0; at < body.size(); at += 64)
        text += body.mid(at, 64) + '\n';
    text += "-----END CERTIFICATE-----\n";
    return text;
}

std::optional<CertificateInfo> CertificateReader::fromDer(const QByteArray& der) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.constData());
    OpenSsl::X509Ptr certificate(d2i_X509(nullptr, &cursor, long(der.size())));
    if (!certificate || cursor != reinterpret_cast<const unsigned char*>(der.constData()) + der.size())
        return std::nullopt;

    const auto subject = nameText(X509_get_subject_name(certificate.get()));
    const auto issuer = nameText(X509_get_issuer_name(certificate.get()));
    const auto notBefore = timeValue(X509_get0_notBefore(certificate.get()));
    const auto notAfter = timeValue(X509_get0_notAfter(certificate.get()));
    if (!subject || !issuer || !notBefore || !notAfter)
        return std::nullopt;

    CertificateInfo info;
    info.subject = *subject;
    info.issuer = *issuer;
    info.notBefore = *notBefore;
    info.notAfter = *notAfter;
    info.der = der;
    info.sha256 = QCryptographicHash::hash(der, QCryptographicHash::Sha256);
    return info;
}

std::optional<CertificateInfo> CertificateReader::fromPem(const QByteArray& pem) {
    OpenSsl::BioPtr in(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    if (!in)
        return std::nullopt;
    // The block's bytes as they are, not parsed and encoded again: a certificate in a form that
    // is not quite canonical DER would otherwise come back with another fingerprint.
    for (;;) {
        char* name = nullptr;
        char* header = nullptr;
        unsigned char* data = nullptr;
        long length = 0;
        if (PEM_read_bio(in.get(), &name, &header, &data, &length) != 1) {
            ERR_clear_error();
            return std::nullopt;
        }
        const bool isCertificate = qstrcmp(name, PEM_STRING_X509) == 0;
        const QByteArray der(reinterpret_cast<const char*>(data), int(length));
        OPENSSL_free(name);
        OPENSSL_free(header);
        OPENSSL_free(data);
        if (isCertificate)
            return fromDer(der);
    }
}

QString CertificateReader::fingerprintText(const QByteArray& sha256) {
    return QString::fromLatin1(sha256.toHex(':').toUpper());
}
