#include "SqlText.h"

QString SqlText::bracketed(const QString& name) {
    QString s = name;
    return s.replace(QLatin1Char(']'), QStringLiteral("]]"));
}

QString SqlText::literal(const QString& text) {
    QString s = text;
    return s.replace(QLatin1Char('\''), QStringLiteral("''"));
}
