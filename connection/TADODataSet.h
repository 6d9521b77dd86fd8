#pragma once
// A query on the server connection: every row is fetched into memory at Open, so
// RecordCount is exact, and let go once Next has left it; values keep their NULL-ness;
// fields are found by name (letter case ignored, first match) or by position from 0.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

class TADOConnection;

enum TCursorLocation { clUseServer, clUseClient };

// One value of the current row.
class TField {
public:
    TField(QString name, QVariant value) : name_(std::move(name)), value_(std::move(value)) {}

    QString FieldName() const { return name_; }
    bool IsNull() const { return value_.isNull(); }
    QVariant Value() const { return value_; }

    // Conversions; a NULL converts to none of them and raises
    // "Could not convert variant of type (Null) into type (<wanted>)".
    QString AsString() const;
    int AsInteger() const;
    qint64 AsLargeInt() const;
    QDateTime AsDateTime() const;

private:
    QString name_;
    QVariant value_; // a null QVariant is SQL NULL
};

class TADODataSet : public QObject {
    Q_OBJECT
public:
    explicit TADODataSet(TADOConnection& connection, QObject* owner = nullptr);
    ~TADODataSet() override; // closes

    void setCursorLocation(TCursorLocation location) { cursorLocation_ = location; }
    TCursorLocation CursorLocation() const { return cursorLocation_; }

    void setCommandText(const QString& text) { commandText_ = text; }
    QString CommandText() const { return commandText_; }

    // Sends the statement and fetches all rows of the first result that carries rows.
    // Throws EDatabaseError, or "CommandText does not return a result set" when no result has rows.
    void Open();
    void Close();
    bool Active() const { return active_; }

    int RecordCount() const;
    bool Eof() const;
    void Next();

    int FieldCount() const;
    // Throws "Field '<name>' not found".
    TField FieldByName(const QString& name) const;
    // Position from 0; read through the column's name, so among equal names the first answers.
    TField Fields(int index) const;

private:
    TADOConnection& connection_;
    TCursorLocation cursorLocation_ = clUseServer;
    QString commandText_;
    bool active_ = false;
    QStringList columnNames_;
    QList<QVariant> values_; // row after row
    int rowCount_ = 0;
    int current_ = 0;
};
