// The certificate reader fed what a hostile server might send as its certificate, as DER and
// as PEM text.
#include "CertificateInfo.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const auto& info : {CertificateReader::fromDer(bytes), CertificateReader::fromPem(bytes)}) {
        if (!info)
            continue;
        // Whatever was accepted must read back as the same certificate.
        const auto again = CertificateReader::fromPem(info->pem());
        if (!again || again->sha256 != info->sha256 || info->sha256.size() != 32 ||
            info->fingerprintText().size() != 95)
            __builtin_trap();
    }
    return 0;
}
