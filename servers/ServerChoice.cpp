// SPDX-License-Identifier: MIT
#include "ServerChoice.h"

#include <QRegularExpression>

QString serverAddress(const QString& host, const QString& port, const QString& instance) {
    const QString h = host.trimmed();
    if (!port.trimmed().isEmpty())
        return h + QLatin1Char(',') + port.trimmed();
    if (!instance.trimmed().isEmpty())
        return h + QLatin1Char('\\') + instance.trimmed();
    return h;
}

bool isTdsVersionBelow7(const QString& version) {
    static const QRegularExpression number(QStringLiteral(R"(^\s*(\d+)(?:\.\d+)?\s*$)"));
    const QRegularExpressionMatch match = number.match(version);
    return match.hasMatch() && match.captured(1).toInt() < 7;
}
