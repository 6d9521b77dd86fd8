#include "RunProgress.h"

#include "TADOConnection.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kPercentProcessed = 3211;
constexpr int kSuccessfullyProcessed = 3014;
constexpr qint64 kPageBytes = 8192;

// The first whole number of a message: the percentage of 3211, the page count of 3014, in
// every language the server speaks.
std::optional<qint64> firstNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral("\\d+"));
    const QRegularExpressionMatch m = number.match(text);
    bool ok = false;
    const qint64 n = m.hasMatch() ? m.captured().toLongLong(&ok) : 0;
    return ok ? std::optional<qint64>(n) : std::nullopt;
}

} // namespace

bool ProgressReader::read(const ServerMessage& message) {
    const std::optional<qint64> n = firstNumber(message.text);
    if (!n)
        return false;
    if (message.number == kPercentProcessed) {
        const int percent = int(std::clamp<qint64>(*n, 0, 100));
        if (percent <= progress_.percent)
            return false;
        progress_.percent = percent;
        if (progress_.bytesTotal) // in two parts, so that no size overflows
            progress_.bytesDone = *progress_.bytesTotal / 100 * percent + *progress_.bytesTotal % 100 * percent / 100;
        return true;
    }
    if (message.number == kSuccessfullyProcessed) {
        progress_.percent = 100;
        if (*n <= std::numeric_limits<qint64>::max() / kPageBytes)
            progress_.bytesDone = *n * kPageBytes;
        return true;
    }
    return false;
}

ProgressPace paceOf(const RunProgress& progress, qint64 elapsedMs) {
    ProgressPace pace;
    if (elapsedMs <= 0 || progress.percent <= 0)
        return pace;
    if (progress.bytesDone)
        pace.bytesPerSecond = double(*progress.bytesDone) * 1000.0 / double(elapsedMs);
    pace.secondsLeft = qint64(std::ceil(double(elapsedMs) * (100 - progress.percent) / progress.percent / 1000.0));
    return pace;
}
