#include "StatementLog.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <stdexcept>

namespace sqlsim {

StatementLog::StatementLog(const QString& path) {
    if (path.isEmpty())
        return;
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append))
        throw std::runtime_error("cannot open the statement log " + path.toStdString());
}

void StatementLog::append(const QString& login, int spid, const QString& batch) {
    if (!file_.isOpen())
        return;
    const QJsonObject record{
        {QStringLiteral("login"), login}, {QStringLiteral("spid"), spid}, {QStringLiteral("batch"), batch}};
    std::lock_guard lock(mutex_);
    file_.write(QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n');
    file_.flush();
}

} // namespace sqlsim
