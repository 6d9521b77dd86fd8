#pragma once
// What the statement engine hands back for one batch: an ordered stream of result sets,
// messages, DONE records and return statuses. The protocol layer turns each item into
// TDS tokens in the same order; the engine knows nothing about bytes on the wire.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <variant>
#include <vector>

namespace sqlsim {

// The SQL Server types that the simulated statements return.
enum class SqlType {
    TinyInt,          // tinyint
    SmallInt,         // smallint
    Int,              // int
    BigInt,           // bigint
    Bit,              // bit
    NVarChar,         // nvarchar(size), size in characters
    Char,             // char(size), single-byte text (catalog columns such as xtype)
    VarChar,          // varchar(size), single-byte text
    DateTime,         // datetime
    Numeric,          // numeric(precision, 0); the value is carried as an integer
    UniqueIdentifier, // uniqueidentifier
    VarBinary,        // varbinary(size)
    Variant,          // sql_variant holding nvarchar (DATABASEPROPERTYEX); the value is text
};

struct Column {
    QString name;
    SqlType type = SqlType::Int;
    int size = 0;       // characters for nvarchar; bytes for varchar and char (in the code page) and varbinary
    int precision = 0;  // numeric only
    bool nullable = true;
};

// A result column; nullable unless said otherwise, as most catalog columns are.
inline Column column(const char* name, SqlType type, int size = 0, bool nullable = true, int precision = 0) {
    Column c;
    c.name = QString::fromLatin1(name);
    c.type = type;
    c.size = size;
    c.precision = precision;
    c.nullable = nullable;
    return c;
}

struct Null {};

// One cell. Integers of every width and numeric(p,0) are carried as qint64;
// bit as bool; text as QString; datetime as QDateTime (local clock of the server).
using Value = std::variant<Null, qint64, bool, QString, QDateTime, QUuid, QByteArray>;

struct ResultSet {
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
};

// INFO (severity <= 10) or ERROR (severity >= 11) token.
struct Message {
    int number = 0;
    int state = 1;
    int severity = 0;
    QString text;
    QString procedure; // empty outside procedures
    int line = 1;
    bool isError() const { return severity > 10; }
};

// The statement a DONE token reports as its current command.
namespace doneCommand {
constexpr quint16 None = 0x00; // BACKUP and RESTORE report none
constexpr quint16 Select = 0xC1;
constexpr quint16 Insert = 0xC3;
constexpr quint16 Delete = 0xC4;
constexpr quint16 CreateTable = 0xC6;
constexpr quint16 DropTable = 0xC7;
constexpr quint16 Execute = 0xE0;
} // namespace doneCommand

// DONE, DONEPROC or DONEINPROC. A result set is always followed by one of these
// with the row count, which the engine emits itself.
struct Done {
    enum class Kind { Done, DoneProc, DoneInProc };
    Kind kind = Kind::Done;
    bool more = false;     // DONE_MORE: more results follow in this batch
    bool error = false;    // DONE_ERROR
    bool hasCount = false; // DONE_COUNT
    qint64 count = 0;
    quint16 currentCommand = doneCommand::Select;

    // DONE_COUNT: the rows a statement returned or touched.
    static Done counted(quint16 command, qint64 rows) {
        Done done;
        done.hasCount = true;
        done.count = rows;
        done.currentCommand = command;
        return done;
    }
};

struct ReturnStatus {
    qint32 value = 0;
};

// The session's database (USE) or language (SET LANGUAGE) changed; the client keeps its own
// copy of both from these notices (ENVCHANGE types 1 and 2, MS-TDS 2.2.7.9).
struct EnvChange {
    enum class Kind : quint8 { Database = 1, Language = 2 };
    Kind kind = Kind::Database;
    QString newValue;
    QString oldValue;
};

using ResponseItem = std::variant<ResultSet, Message, Done, ReturnStatus, EnvChange>;

// The engine writes items here as it goes; the protocol layer may stream them out.
class ResponseSink {
public:
    virtual ~ResponseSink() = default;
    virtual void add(ResponseItem item) = 0;
    // The items so far should reach the client now, not only when the batch ends (progress
    // messages of a long statement).
    virtual void flush() {}
};

// Collects every item; handy for in-process tests.
class CollectingSink : public ResponseSink {
public:
    void add(ResponseItem item) override { items.push_back(std::move(item)); }
    std::vector<ResponseItem> items;
};

} // namespace sqlsim
