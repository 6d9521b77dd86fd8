#include "Evaluator.h"

#include "CodePage.h"
#include "MessageCatalog.h"
#include "SqlError.h"

#include <QRegularExpression>

namespace sqlsim {
namespace {

const QString versionText = QStringLiteral(
    "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tSep 24 2019 13:48:23 \n\tCopyright (C) 2019 Microsoft "
    "Corporation\n\tDeveloper Edition (64-bit) on Windows Server 2019 Standard 10.0 <X64> (Build 17763: ) "
    "(Hypervisor)\n");

bool isNull(const Value& v) {
    return std::holds_alternative<Null>(v);
}

std::optional<qint64> toInteger(const Value& v) {
    if (const auto* i = std::get_if<qint64>(&v))
        return *i;
    if (const auto* b = std::get_if<bool>(&v))
        return *b ? 1 : 0;
    if (const auto* s = std::get_if<QString>(&v)) {
        bool ok = false;
        const qint64 n = s->trimmed().toLongLong(&ok);
        if (ok)
            return n;
    }
    return std::nullopt;
}

// A view, not a copy: ORDER BY compares tens of thousands of names.
QStringView rightTrimmed(const QString& s) {
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == u' ')
        --n;
    return QStringView(s).left(n);
}

} // namespace

QString Evaluator::toText(const Value& v) {
    if (const auto* s = std::get_if<QString>(&v))
        return *s;
    if (const auto* i = std::get_if<qint64>(&v))
        return QString::number(*i);
    if (const auto* b = std::get_if<bool>(&v))
        return *b ? QStringLiteral("1") : QStringLiteral("0");
    if (const auto* d = std::get_if<QDateTime>(&v))
        return d->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    if (const auto* u = std::get_if<QUuid>(&v))
        return u->toString(QUuid::WithoutBraces).toUpper();
    if (const auto* b = std::get_if<QByteArray>(&v))
        return QStringLiteral("0x") + QString::fromLatin1(b->toHex()).toUpper();
    return QString();
}

int Evaluator::compare(const Value& a, const Value& b, bool* comparable) {
    *comparable = !isNull(a) && !isNull(b);
    if (!*comparable)
        return 0;
    const bool aText = std::holds_alternative<QString>(a);
    const bool bText = std::holds_alternative<QString>(b);
    if (aText && bText) {
        const int c =
            rightTrimmed(std::get<QString>(a)).compare(rightTrimmed(std::get<QString>(b)), Qt::CaseInsensitive);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (std::holds_alternative<QDateTime>(a) && std::holds_alternative<QDateTime>(b)) {
        const auto& x = std::get<QDateTime>(a);
        const auto& y = std::get<QDateTime>(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const auto x = toInteger(a);
    const auto y = toInteger(b);
    if (!x || !y) {
        // Text meets a number: the text is converted, and fails as the server's conversion does.
        const Value& text = aText ? a : b;
        throw SqlError(MessageCatalog::make(245, {QStringLiteral("varchar"), toText(text), QStringLiteral("int")}));
    }
    return *x < *y ? -1 : (*x > *y ? 1 : 0);
}

bool Evaluator::like(const QString& value, const QString& pattern) {
    QString re = QStringLiteral("^");
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == u'%') {
            re += QStringLiteral(".*");
        } else if (c == u'_') {
            re += u'.';
        } else if (c == u'[') {
            const qsizetype close = pattern.indexOf(u']', i + 1);
            if (close < 0) {
                re += QRegularExpression::escape(QString(c));
                continue;
            }
            QString set = pattern.mid(i + 1, close - i - 1);
            QString cls = QStringLiteral("[");
            if (set.startsWith(u'^')) {
                cls += u'^';
                set.remove(0, 1);
            }
            for (const QChar s : set)
                cls += s == u'-' ? QString(s) : QRegularExpression::escape(QString(s));
            re += cls + u']';
            i = close;
        } else {
            re += QRegularExpression::escape(QString(c));
        }
    }
    re += QStringLiteral("$");
    const QRegularExpression expr(re, QRegularExpression::CaseInsensitiveOption |
                                          QRegularExpression::DotMatchesEverythingOption);
    return expr.match(rightTrimmed(value)).hasMatch() || expr.match(value).hasMatch();
}

int Evaluator::columnIndex(const std::vector<Column>& columns, const QString& name) {
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

Value Evaluator::evaluate(const Expr& e, const RowView& row) const {
    switch (e.kind) {
    case Expr::Kind::Literal:
        return e.value;
    case Expr::Kind::Column: {
        const int index = row.columns ? columnIndex(*row.columns, e.name) : -1;
        if (index < 0)
            throw SqlError(MessageCatalog::make(207, {e.name}));
        return (*row.values)[index];
    }
    case Expr::Kind::Variable: {
        const QString v = e.name.toUpper();
        if (v == QLatin1String("@@SPID"))
            return qint64(context_.session.spid);
        if (v == QLatin1String("@@VERSION"))
            return QString(versionText)
                .replace(QLatin1String("15.0.2000.5"), context_.engine.config.productVersion)
                .replace(QLatin1String("Developer Edition (64-bit)"), context_.engine.config.edition);
        if (v == QLatin1String("@@SERVERNAME"))
            return context_.engine.config.serverName;
        if (v == QLatin1String("@@SERVICENAME"))
            return QStringLiteral("MSSQLSERVER");
        if (v == QLatin1String("@@TRANCOUNT"))
            return qint64(context_.session.tranCount);
        if (v == QLatin1String("@@LANGUAGE"))
            return context_.session.language;
        if (v == QLatin1String("@@TEXTSIZE"))
            return qint64(2147483647);
        if (v == QLatin1String("@@MAX_PRECISION"))
            return qint64(38);
        if (v == QLatin1String("@@ERROR") || v == QLatin1String("@@ROWCOUNT"))
            return qint64(0);
        throw SqlError(MessageCatalog::make(137, {e.name}));
    }
    case Expr::Kind::Function: {
        const QString& f = e.name;
        if (f == QLatin1String("GETDATE") || f == QLatin1String("SYSDATETIME") || f == QLatin1String("SYSUTCDATETIME"))
            return QDateTime::currentDateTime();
        if (f == QLatin1String("DB_NAME"))
            return context_.session.database;
        if (f == QLatin1String("SUSER_SNAME") || f == QLatin1String("SUSER_NAME") || f == QLatin1String("SYSTEM_USER"))
            return context_.session.login;
        if (f == QLatin1String("USER_NAME"))
            return QStringLiteral("dbo");
        if (f == QLatin1String("DB_ID") || f == QLatin1String("DATABASEPROPERTYEX")) {
            const Value name = e.args.empty() ? Value(context_.session.database) : evaluate(*e.args[0], row);
            if (isNull(name))
                return Null{};
            std::lock_guard lock(context_.engine.mutex);
            const Database* db = context_.engine.catalog.find(toText(name));
            if (!db)
                return Null{};
            if (f == QLatin1String("DB_ID"))
                return qint64(db->dbid);
            const QString p = e.args.size() < 2 ? QString() : toText(evaluate(*e.args[1], row)).toUpper();
            if (p == QLatin1String("STATUS"))
                return db->state;
            if (p == QLatin1String("USERACCESS"))
                return db->singleUser ? QStringLiteral("SINGLE_USER") : QStringLiteral("MULTI_USER");
            if (p == QLatin1String("RECOVERY"))
                return db->recoveryModel;
            return Null{};
        }
        if (f == QLatin1String("SERVERPROPERTY")) {
            const QString p = e.args.empty() ? QString() : toText(evaluate(*e.args[0], row)).toUpper();
            if (p == QLatin1String("PRODUCTVERSION"))
                return context_.engine.config.productVersion;
            if (p == QLatin1String("PRODUCTMAJORVERSION"))
                return context_.engine.config.productVersion.section(u'.', 0, 0);
            if (p == QLatin1String("SERVERNAME") || p == QLatin1String("MACHINENAME"))
                return context_.engine.config.serverName;
            if (p == QLatin1String("EDITION"))
                return context_.engine.config.edition;
            if (p == QLatin1String("COLLATION"))
                return QStringLiteral("Chinese_PRC_CI_AS");
            return Null{};
        }
        if (f == QLatin1String("ISNULL") && e.args.size() == 2) {
            const Value v = evaluate(*e.args[0], row);
            return isNull(v) ? evaluate(*e.args[1], row) : v;
        }
        if ((f == QLatin1String("UPPER") || f == QLatin1String("LOWER") || f == QLatin1String("LEN")) &&
            e.args.size() == 1) {
            const Value v = evaluate(*e.args[0], row);
            if (isNull(v))
                return v;
            if (f == QLatin1String("LEN"))
                return qint64(rightTrimmed(toText(v)).size());
            return f == QLatin1String("UPPER") ? toText(v).toUpper() : toText(v).toLower();
        }
        throw SqlError(MessageCatalog::make(195, {e.written, QStringLiteral("built-in function name")}));
    }
    case Expr::Kind::Unary: {
        if (e.name == QLatin1String("NOT"))
            return !isTrue(*e.args[0], row);
        const Value v = evaluate(*e.args[0], row);
        if (isNull(v))
            return v;
        const auto n = toInteger(v);
        if (!n)
            throw SqlError(MessageCatalog::make(245, {QStringLiteral("varchar"), toText(v), QStringLiteral("int")}));
        return e.name == QLatin1String("-") ? -*n : *n;
    }
    case Expr::Kind::Binary: {
        const QString& op = e.name;
        if (op == QLatin1String("AND"))
            return isTrue(*e.args[0], row) && isTrue(*e.args[1], row);
        if (op == QLatin1String("OR"))
            return isTrue(*e.args[0], row) || isTrue(*e.args[1], row);
        const Value a = evaluate(*e.args[0], row);
        const Value b = evaluate(*e.args[1], row);
        if (op == QLatin1String("+") && (std::holds_alternative<QString>(a) || std::holds_alternative<QString>(b)) &&
            !toInteger(a).has_value()) {
            if (isNull(a) || isNull(b))
                return Null{};
            return toText(a) + toText(b);
        }
        if (op == QLatin1String("+") || op == QLatin1String("-") || op == QLatin1String("*") ||
            op == QLatin1String("/") || op == QLatin1String("%")) {
            if (isNull(a) || isNull(b))
                return Null{};
            const auto x = toInteger(a);
            const auto y = toInteger(b);
            if (!x || !y)
                throw SqlError(
                    MessageCatalog::make(245, {QStringLiteral("varchar"), toText(x ? b : a), QStringLiteral("int")}));
            if ((op == QLatin1String("/") || op == QLatin1String("%")) && *y == 0)
                throw SqlError(MessageCatalog::make(8134));
            if (op == QLatin1String("+"))
                return *x + *y;
            if (op == QLatin1String("-"))
                return *x - *y;
            if (op == QLatin1String("*"))
                return *x * *y;
            return op == QLatin1String("/") ? *x / *y : *x % *y;
        }
        bool comparable = false;
        const int c = compare(a, b, &comparable);
        if (!comparable)
            return Null{};
        if (op == QLatin1String("="))
            return c == 0;
        if (op == QLatin1String("<>") || op == QLatin1String("!="))
            return c != 0;
        if (op == QLatin1String("<") || op == QLatin1String("!>"))
            return op == QLatin1String("<") ? c < 0 : c <= 0;
        if (op == QLatin1String(">") || op == QLatin1String("!<"))
            return op == QLatin1String(">") ? c > 0 : c >= 0;
        if (op == QLatin1String("<="))
            return c <= 0;
        return c >= 0;
    }
    case Expr::Kind::Like: {
        const Value v = evaluate(*e.args[0], row);
        const Value p = evaluate(*e.args[1], row);
        if (isNull(v) || isNull(p))
            return Null{};
        return like(toText(v), toText(p)) != e.negated;
    }
    case Expr::Kind::IsNull:
        return isNull(evaluate(*e.args[0], row)) != e.negated;
    case Expr::Kind::In: {
        const Value v = evaluate(*e.args[0], row);
        for (size_t i = 1; i < e.args.size(); ++i) {
            bool comparable = false;
            if (compare(v, evaluate(*e.args[i], row), &comparable) == 0 && comparable)
                return !e.negated;
        }
        return e.negated;
    }
    }
    return Null{};
}

bool Evaluator::isTrue(const Expr& e, const RowView& row) const {
    const Value v = evaluate(e, row);
    if (const auto* b = std::get_if<bool>(&v))
        return *b;
    if (const auto* i = std::get_if<qint64>(&v))
        return *i != 0;
    return false;
}

Column Evaluator::describe(const Expr& e, const RowView& row) const {
    Column c;
    c.nullable = true;
    switch (e.kind) {
    case Expr::Kind::Column: {
        const int index = row.columns ? columnIndex(*row.columns, e.name) : -1;
        if (index >= 0)
            return (*row.columns)[index];
        break;
    }
    case Expr::Kind::Variable: {
        const QString v = e.name.toUpper();
        if (v == QLatin1String("@@SPID") || v == QLatin1String("@@MAX_PRECISION")) {
            c.type = v == QLatin1String("@@SPID") ? SqlType::SmallInt : SqlType::TinyInt;
        } else if (v == QLatin1String("@@TRANCOUNT") || v == QLatin1String("@@TEXTSIZE") ||
                   v == QLatin1String("@@ERROR") || v == QLatin1String("@@ROWCOUNT")) {
            c.type = SqlType::Int;
        } else {
            c.type = SqlType::NVarChar;
            c.size = v == QLatin1String("@@VERSION") ? 300 : 128;
        }
        return c;
    }
    case Expr::Kind::Function:
        if (e.name == QLatin1String("GETDATE") || e.name == QLatin1String("SYSDATETIME") ||
            e.name == QLatin1String("SYSUTCDATETIME")) {
            c.type = SqlType::DateTime;
            c.nullable = false;
            return c;
        }
        if (e.name == QLatin1String("LEN") || e.name == QLatin1String("DB_ID")) {
            c.type = SqlType::Int;
            return c;
        }
        if (e.name == QLatin1String("SERVERPROPERTY")) {
            c.type = SqlType::NVarChar;
            c.size = 128;
            return c;
        }
        c.type = SqlType::NVarChar;
        c.size = 128;
        return c;
    case Expr::Kind::Literal:
        if (std::holds_alternative<qint64>(e.value)) {
            c.type = SqlType::Int;
            c.nullable = false;
            return c;
        }
        if (const auto* s = std::get_if<QString>(&e.value)) {
            c.type = e.national ? SqlType::NVarChar : SqlType::VarChar;
            // varchar(n) counts bytes of the code page: '库存' is varchar(4), N'库存' nvarchar(2).
            c.size = std::max<qsizetype>(1, e.national ? s->size() : CodePage::encode(*s).size());
            c.nullable = false;
            return c;
        }
        c.type = SqlType::Int;
        return c;
    default:
        break;
    }
    // Everything else is reckoned from its value.
    const Value v = evaluate(e, row);
    if (std::holds_alternative<qint64>(v) || std::holds_alternative<bool>(v)) {
        c.type = SqlType::Int;
    } else if (std::holds_alternative<QDateTime>(v)) {
        c.type = SqlType::DateTime;
    } else {
        c.type = SqlType::NVarChar;
        c.size = std::max<qsizetype>(1, toText(v).size());
    }
    return c;
}

} // namespace sqlsim
