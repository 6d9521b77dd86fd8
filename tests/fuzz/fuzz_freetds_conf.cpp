// SPDX-License-Identifier: MIT
// The reader of freetds.conf files, fed arbitrary file contents.
#include "FreeTdsConfServers.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QTemporaryDir dir;
    static int count = 0;
    // A path of its own per input: QSettings caches what it read of a path.
    const QString path = dir.filePath(QStringLiteral("freetds-%1.conf").arg(++count));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        __builtin_trap();
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();
    const ServerChoices servers = FreeTdsConfServers::readFile(path);
    QFile::remove(path);
    for (const ServerChoice& server : servers) {
        // Every entry is a named server with a host; [global] is never one.
        if (server.name.isEmpty() || server.address.trimmed().isEmpty() ||
            server.name.compare(QLatin1String("global"), Qt::CaseInsensitive) == 0)
            __builtin_trap();
    }
    return 0;
}
