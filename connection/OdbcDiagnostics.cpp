#include "OdbcDiagnostics.h"

#include <sqlext.h>

#include <QRegularExpression>

QString stripDriverPrefixes(const QString& message) {
    static const QRegularExpression prefixes(QStringLiteral("^(\\s*\\[[^\\]]*\\])+\\s*"));
    QString text = message;
    text.remove(prefixes);
    return text.trimmed();
}

QList<OdbcDiagnostic> readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    QList<OdbcDiagnostic> records;
    if (handle == SQL_NULL_HANDLE)
        return records;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR text[4096] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRecW(handleType, handle, i, state, &native, text,
                                            SQLSMALLINT(sizeof text / sizeof text[0]), &length);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
            break;
        OdbcDiagnostic d;
        d.sqlState = QString::fromUtf16(reinterpret_cast<const char16_t*>(state), 5);
        d.nativeError = int(native);
        const int chars = std::min<int>(length, int(sizeof text / sizeof text[0]) - 1);
        d.message = stripDriverPrefixes(QString::fromUtf16(reinterpret_cast<const char16_t*>(text), chars));
        records.append(d);
    }
    return records;
}

EDatabaseError errorFromDiagnostics(const QList<OdbcDiagnostic>& records, const QString& fallback) {
    QList<OdbcDiagnostic> errors;
    for (const OdbcDiagnostic& d : records) {
        if (!d.sqlState.startsWith(QLatin1String("01")))
            errors.append(d);
    }
    if (errors.isEmpty())
        errors = records;
    if (errors.isEmpty())
        return EDatabaseError(fallback);
    QStringList lines;
    for (const OdbcDiagnostic& d : errors)
        lines.append(d.message);
    return EDatabaseError(lines.join(QLatin1Char('\n')), errors.first().sqlState, errors.first().nativeError);
}

EDatabaseError errorFromHandle(SQLSMALLINT handleType, SQLHANDLE handle, const QString& fallback) {
    return errorFromDiagnostics(readDiagnostics(handleType, handle), fallback);
}
