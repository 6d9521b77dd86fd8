#include "TADODataSet.h"

#include "EDatabaseError.h"
#include "OdbcConnection.h"
#include "TADOConnection.h"

#include <limits>

namespace {

[[noreturn]] void nullConversion(const char* wanted) {
    throw EDatabaseError(QStringLiteral("Could not convert variant of type (Null) into type (%1)")
                             .arg(QLatin1String(wanted)));
}

} // namespace

QString TField::AsString() const {
    if (IsNull())
        nullConversion("String");
    if (value_.typeId() == QMetaType::QDateTime)
        return value_.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (value_.typeId() == QMetaType::Bool)
        return value_.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return value_.toString();
}

qint64 TField::AsLargeInt() const {
    if (IsNull())
        nullConversion("Int64");
    bool ok = false;
    const qint64 n = value_.toLongLong(&ok);
    if (!ok)
        throw EDatabaseError(QStringLiteral("'%1' is not a valid integer value").arg(value_.toString()));
    return n;
}

int TField::AsInteger() const {
    if (IsNull())
        nullConversion("Integer");
    const qint64 n = AsLargeInt();
    if (n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
        throw EDatabaseError(QStringLiteral("'%1' is not a valid integer value").arg(n));
    return int(n);
}

QDateTime TField::AsDateTime() const {
    if (IsNull())
        nullConversion("Date");
    QDateTime dt = value_.toDateTime();
    if (!dt.isValid())
        throw EDatabaseError(QStringLiteral("'%1' is not a valid date and time").arg(value_.toString()));
    return dt;
}

TADODataSet::TADODataSet(TADOConnection& connection, QObject* owner) : QObject(owner), connection_(connection) {}

TADODataSet::~TADODataSet() { Close(); }

void TADODataSet::Open() {
    Close();
    std::optional<OdbcResult> result = connection_.odbc().run(commandText_, connection_.CommandTimeout());
    if (!result)
        throw EDatabaseError(QStringLiteral("CommandText does not return a result set"));
    columnNames_ = std::move(result->columns);
    values_ = std::move(result->values);
    rowCount_ = int(result->rowCount);
    current_ = 0;
    active_ = true;
}

void TADODataSet::Close() {
    active_ = false;
    columnNames_.clear();
    values_.clear();
    rowCount_ = 0;
    current_ = 0;
}

int TADODataSet::RecordCount() const { return rowCount_; }

bool TADODataSet::Eof() const { return current_ >= rowCount_; }

void TADODataSet::Next() {
    if (Eof())
        return;
    // Nothing reads a row behind the current one again: its values go now, so that what a
    // caller builds from a long answer can take their place instead of adding to them.
    const qsizetype width = columnNames_.size();
    for (qsizetype i = qsizetype(current_) * width, end = i + width; i < end; ++i)
        values_[i] = QVariant();
    ++current_;
}

int TADODataSet::FieldCount() const { return int(columnNames_.size()); }

TField TADODataSet::FieldByName(const QString& name) const {
    for (int i = 0; i < columnNames_.size(); ++i) {
        if (columnNames_[i].compare(name, Qt::CaseInsensitive) == 0) {
            if (Eof())
                throw EDatabaseError(QStringLiteral("Cannot read field '%1': no current record").arg(name));
            return TField(columnNames_[i], values_[qsizetype(current_) * columnNames_.size() + i]);
        }
    }
    throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(name));
}

TField TADODataSet::Fields(int index) const {
    if (index < 0 || index >= columnNames_.size())
        throw EDatabaseError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return FieldByName(columnNames_[index]);
}
