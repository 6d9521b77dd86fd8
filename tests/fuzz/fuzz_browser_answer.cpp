// Discovery's parser of SQL Server Browser answers, fed arbitrary datagrams.
#include "ServerDiscovery.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray datagram(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList names = parseBrowserAnswer(datagram, QStringLiteral("127.0.0.1"));
    for (const QString& name : names)
        if (!name.startsWith(QLatin1String("127.0.0.1")))
            __builtin_trap(); // every name must be on the host that was asked
    return 0;
}
