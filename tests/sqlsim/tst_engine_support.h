#pragma once
// Shared by the in-process engine tests: an engine on a temporary state directory with two
// drives, and helpers that pick the items of one batch's response apart.

#include "Engine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace enginetest {

using namespace sqlsim;

struct Response {
    std::vector<ResponseItem> items;

    std::vector<ResultSet> resultSets() const {
        std::vector<ResultSet> out;
        for (const auto& i : items)
            if (const auto* rs = std::get_if<ResultSet>(&i))
                out.push_back(*rs);
        return out;
    }
    ResultSet firstSet() const {
        const auto sets = resultSets();
        return sets.empty() ? ResultSet{} : sets.front();
    }
    std::vector<Message> messages() const {
        std::vector<Message> out;
        for (const auto& i : items)
            if (const auto* m = std::get_if<Message>(&i))
                out.push_back(*m);
        return out;
    }
    QList<int> errorNumbers() const {
        QList<int> out;
        for (const Message& m : messages())
            if (m.isError())
                out << m.number;
        return out;
    }
    QList<int> infoNumbers() const {
        QList<int> out;
        for (const Message& m : messages())
            if (!m.isError())
                out << m.number;
        return out;
    }
    QString errorText(int number) const {
        for (const Message& m : messages())
            if (m.number == number)
                return m.text;
        return QString();
    }
    std::vector<Done> dones() const {
        std::vector<Done> out;
        for (const auto& i : items)
            if (const auto* d = std::get_if<Done>(&i))
                out.push_back(*d);
        return out;
    }
    bool failed() const { return !errorNumbers().isEmpty(); }
};

inline QStringList columnNames(const ResultSet& rs) {
    QStringList names;
    for (const Column& c : rs.columns)
        names << c.name;
    return names;
}

inline QString text(const Value& v) {
    if (const auto* s = std::get_if<QString>(&v))
        return *s;
    if (const auto* i = std::get_if<qint64>(&v))
        return QString::number(*i);
    return QString();
}

inline qint64 integer(const Value& v) {
    if (const auto* i = std::get_if<qint64>(&v))
        return *i;
    if (const auto* b = std::get_if<bool>(&v))
        return *b ? 1 : 0;
    return -1;
}

inline Value cell(const ResultSet& rs, int row, const QString& column) {
    for (size_t c = 0; c < rs.columns.size(); ++c)
        if (rs.columns[c].name == column && size_t(row) < rs.rows.size())
            return rs.rows[size_t(row)][c];
    return Null{};
}

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// An engine with drives C: and D: in a temporary directory, logins sa (sysadmin) and reader.
class EngineHarness {
public:
    explicit EngineHarness(bool seed = true, int delayPerMbMs = 0,
                           std::vector<std::pair<QString, int>> failRules = {}) {
        config.stateDir = dir.filePath(QStringLiteral("state"));
        config.drives.insert(u'C', dir.filePath(QStringLiteral("c")));
        config.drives.insert(u'D', dir.filePath(QStringLiteral("d")));
        config.logins = {{QStringLiteral("sa"), QStringLiteral("pw"), true},
                         {QStringLiteral("reader"), QStringLiteral("pw"), false}};
        config.seed = seed;
        config.statementLogPath = dir.filePath(QStringLiteral("statements.jsonl"));
        config.delayPerMbMs = delayPerMbMs;
        config.failRules = std::move(failRules);
        start();
    }

    void start() { engine = std::make_unique<Engine>(config); }
    void stop() { engine.reset(); }

    std::unique_ptr<Session> session(const QString& login = QStringLiteral("sa")) {
        Message failure;
        auto s = engine->login(login, QStringLiteral("pw"), &failure);
        if (!s)
            qFatal("login failed");
        return s;
    }

    QString c(const QString& relative = {}) const { return hostPath(QStringLiteral("c"), relative); }
    QString d(const QString& relative = {}) const { return hostPath(QStringLiteral("d"), relative); }

    QTemporaryDir dir;
    EngineConfig config;
    std::unique_ptr<Engine> engine;

private:
    QString hostPath(const QString& drive, const QString& relative) const {
        QString r = relative;
        r.replace(u'\\', u'/');
        return dir.filePath(drive) + (r.isEmpty() ? QString() : u'/' + r);
    }
};

inline Response run(Session& session, const QString& batch) {
    CollectingSink sink;
    CancelToken cancel;
    session.executeBatch(batch, sink, cancel);
    return Response{std::move(sink.items)};
}

inline const QString dataDir = QStringLiteral("Program Files/Microsoft SQL Server/MSSQL15.MSSQLSERVER/MSSQL/DATA/");

} // namespace enginetest
