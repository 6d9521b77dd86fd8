// What the server says while a BACKUP or RESTORE runs: a sequence of messages read into the
// progress of the run. Input: one message a line, "<number> <text>"; the first line may give
// the backup's size as "size <bytes>".
#include "RunProgress.h"
#include "TADOConnection.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QStringList lines = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split(u'\n');
    RunProgress start{QStringLiteral("db"), 1, 1, 0, {}, {}};
    if (!lines.isEmpty() && lines.first().startsWith(QLatin1String("size "))) {
        start.bytesTotal = lines.takeFirst().mid(5).toLongLong();
        start.bytesDone = 0;
    }
    ProgressReader reader(start);
    int before = 0;
    for (const QString& line : lines) {
        const qsizetype space = line.indexOf(u' ');
        reader.read({line.left(space).toInt(), space < 0 ? QString() : line.mid(space + 1)});
        const RunProgress& p = reader.progress();
        // The percentage only grows and stays a percentage.
        if (p.percent < before || p.percent > 100)
            __builtin_trap();
        before = p.percent;
        const ProgressPace pace = paceOf(p, 1500);
        if (pace.secondsLeft && *pace.secondsLeft < 0)
            __builtin_trap();
    }
    return 0;
}
