// The Browser answer for one named instance, as the connect flow reads it before probing.
#include "InstancePort.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray datagram(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto port = InstancePort::parseAnswer(datagram, QStringLiteral("SQLEXPRESS")); port && *port == 0)
        __builtin_trap(); // port 0 is never a server's
    return 0;
}
