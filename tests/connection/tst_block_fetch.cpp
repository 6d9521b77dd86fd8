// Reading results in blocks of bound columns: every row and value arrives as reading each value
// on its own gives it, across block boundaries, with NULLs, long values and Chinese text.

#include "BoundColumn.h"
#include "EDatabaseError.h"
#include "OdbcHandles.h"
#include "ResultFetch.h"
#include "SimServer.h"
#include "TADOConnection.h"
#include "TADODataSet.h"

#include <QtTest>

#include <functional>

namespace {

constexpr int kRows = 2 * int(ResultFetch::kBlockRows) + 2;

std::u16string wide(const QString& s) {
    return s.toStdU16String();
}

// The values of row id in ##Rows: a NULL every third int and every fifth text, Chinese text.
QVariant expectedNumber(int id) {
    return id % 3 == 0 ? QVariant() : QVariant(qint64(id) * 1000);
}
QVariant expectedName(int id) {
    return id % 5 == 0 ? QVariant() : QVariant(QStringLiteral("数据库%1").arg(id, 4, 10, QLatin1Char('0')));
}

QString rowsInsert() {
    QStringList tuples;
    for (int id = 1; id <= kRows; ++id) {
        const QVariant number = expectedNumber(id);
        const QVariant name = expectedName(id);
        tuples << QStringLiteral("(%1, %2, %3, %4)")
                      .arg(id)
                      .arg(number.isNull() ? QStringLiteral("NULL") : number.toString())
                      .arg(name.isNull() ? QStringLiteral("NULL") : QStringLiteral("N'%1'").arg(name.toString()))
                      .arg(id % 5 == 0 ? QStringLiteral("NULL") : QStringLiteral("GetDate()"));
    }
    return QStringLiteral("Insert Into ##Rows Values ") + tuples.join(QLatin1Char(','));
}

using Fetcher = std::function<OdbcResult(SQLHSTMT, SQLHDBC, SQLSMALLINT)>;

} // namespace

class TestBlockFetch : public QObject {
    Q_OBJECT
public:
    ~TestBlockFetch() override {
        if (rawConnected)
            SQLDisconnect(raw.get());
    }

private slots:
    void initTestCase() {
        QVERIFY2(sim.start({"--seed"}), qPrintable(sim.errorString()));
        connection.setConnectionString(sim.odbcConnectionString());
        connection.Open();
        connection.Execute("Create Table ##Rows(id int not null, number int, name sysname, made datetime)");
        connection.Execute(rowsInsert());
        connection.Execute("Create Table ##Mixed(a int, big varchar(max), c nvarchar(20), d bit)");
        connection.Execute(QStringLiteral("Insert Into ##Mixed Values (1, '%1', N'甲', 1), (2, NULL, NULL, NULL), "
                                          "(NULL, 'short', N'乙丙', 0), (4, '%2', N'丁', 1)")
                               .arg(QString(8000, QLatin1Char('x')), QString(5000, QLatin1Char('y'))));
        connection.Execute("Backup DataBase [SalesDemo] To Disk='C:\\block.Bak'");
        connectRaw();
    }

    // Block size - 1, block size, + 1 and beyond: no row lost, doubled or shifted, NULLs where the
    // server sent them and nowhere else.
    void everyRowArrivesInOrderAcrossBlocks_data() {
        QTest::addColumn<int>("rows");
        for (int rows : {0, 1, int(ResultFetch::kBlockRows) - 1, int(ResultFetch::kBlockRows),
                         int(ResultFetch::kBlockRows) + 1, 2 * int(ResultFetch::kBlockRows) + 1, kRows})
            QTest::addRow("%d rows", rows) << rows;
    }

    void everyRowArrivesInOrderAcrossBlocks() {
        QFETCH(int, rows);
        TADODataSet q(connection);
        q.setCommandText(QStringLiteral("Select Top %1 * From ##Rows Order by id").arg(rows));
        q.Open();
        QCOMPARE(q.RecordCount(), rows);
        for (int id = 1; id <= rows; ++id, q.Next()) {
            QCOMPARE(q.FieldByName("id").AsInteger(), id);
            QCOMPARE(q.FieldByName("number").Value(), expectedNumber(id));
            QCOMPARE(q.FieldByName("name").IsNull(), expectedName(id).isNull());
            if (!expectedName(id).isNull())
                QCOMPARE(q.FieldByName("name").AsString(), expectedName(id).toString());
            QCOMPARE(q.FieldByName("made").IsNull(), id % 5 == 0);
        }
        QVERIFY(q.Eof());
    }

    // Whatever path a result takes, its values are the ones value-by-value reading gives: same
    // columns, rows, types and NULL-ness.
    void blockReadingMatchesValueByValueReading_data() {
        QTest::addColumn<QString>("statement");
        QTest::newRow("databases") << "Select * From master..Sysdatabases Where Name<>'tempdb' Order by [dbid]";
        QTest::newRow("backup sets") << "RESTORE HEADERONLY FROM  DISK = N'C:\\block.Bak'  WITH   NOUNLOAD ";
        QTest::newRow("backup files") << "RESTORE FILELISTONLY FROM  DISK = N'C:\\block.Bak'  WITH   NOUNLOAD ";
        QTest::newRow("blocks with NULLs") << "Select * From ##Rows Order by id";
        QTest::newRow("long value among short") << "Select * From ##Mixed";
        QTest::newRow("long value first") << "Select big, a From ##Mixed";
        QTest::newRow("after a result without rows") << "Delete From ##Mixed Where a = 99 Select * From ##Rows";
    }

    void blockReadingMatchesValueByValueReading() {
        QFETCH(QString, statement);
        const OdbcResult block = firstResult(statement, ResultFetch::fetch);
        const OdbcResult single = firstResult(
            statement, [](SQLHSTMT stmt, SQLHDBC, SQLSMALLINT n) { return ResultFetch::fetchValueByValue(stmt, n); });
        QCOMPARE(block.columns, single.columns);
        QVERIFY(block.rowCount > 0);
        QCOMPARE(block.rowCount, single.rowCount);
        QCOMPARE(block.values.size(), single.values.size());
        for (size_t r = 0; r < block.rowCount; ++r) {
            for (size_t c = 0; c < size_t(block.columns.size()); ++c) {
                const QVariant& b = block.value(r, c);
                const QVariant& s = single.value(r, c);
                const QByteArray where =
                    QStringLiteral("row %1, column %2").arg(r).arg(block.columns[qsizetype(c)]).toUtf8();
                QVERIFY2(b.isNull() == s.isNull(), where.constData());
                QVERIFY2(b.typeId() == s.typeId(), where.constData());
                QVERIFY2(b == s, where.constData());
            }
        }
    }

    // A long value beside bound columns, read whole (in more than one piece) and in its row.
    void longValueBesideBoundColumns() {
        TADODataSet q(connection);
        q.setCommandText("Select * From ##Mixed");
        q.Open();
        QCOMPARE(q.RecordCount(), 4);
        QCOMPARE(q.FieldByName("big").AsString(), QString(8000, QLatin1Char('x')));
        QCOMPARE(q.FieldByName("c").AsString(), QStringLiteral("甲"));
        q.Next();
        QVERIFY(q.FieldByName("big").IsNull());
        QVERIFY(q.FieldByName("d").IsNull());
        q.Next();
        QVERIFY(q.FieldByName("a").IsNull());
        QCOMPARE(q.FieldByName("big").AsString(), QStringLiteral("short"));
        QCOMPARE(q.FieldByName("d").AsString(), QStringLiteral("False"));
        q.Next();
        QCOMPARE(q.FieldByName("big").AsString(), QString(5000, QLatin1Char('y')));
        QCOMPARE(q.FieldByName("c").AsString(), QStringLiteral("丁"));
    }

    // A value that fills its column's declared size to the last character fits its buffer.
    void valuesOfTheFullDeclaredSizeArriveWhole_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("value");
        QTest::newRow("sysname of Chinese") << "sysname" << QString(128, QChar(0x6570));
        QTest::newRow("varchar of two-byte characters") << "varchar(10)" << QStringLiteral("数据库备份");
        QTest::newRow("varchar of ASCII") << "varchar(10)" << QStringLiteral("abcdefghij");
        QTest::newRow("nvarchar at the binding limit") << QStringLiteral("nvarchar(%1)").arg(BoundColumn::kMaxTextChars)
                                                       << QString(int(BoundColumn::kMaxTextChars), QChar(0x5E93));
        QTest::newRow("surrogate pairs") << "nvarchar(4)" << QStringLiteral("𠀀𠀁");
    }

    void valuesOfTheFullDeclaredSizeArriveWhole() {
        QFETCH(QString, type);
        QFETCH(QString, value);
        connection.Execute(QStringLiteral("Create Table ##Full(id int, v %1)").arg(type));
        connection.Execute(QStringLiteral("Insert Into ##Full Values (1, N'%1')").arg(value));
        TADODataSet q(connection);
        q.setCommandText("Select * From ##Full");
        q.Open();
        connection.Execute("Drop Table ##Full");
        QCOMPARE(q.RecordCount(), 1);
        QCOMPARE(q.FieldByName("v").AsString(), value);
    }

    // A driver that had to cut a bound value (the server sent more than the column's description
    // promised) makes the query fail instead of handing out a shortened value.
    void cutValueFailsInsteadOfShortening_data() {
        QTest::addColumn<int>("sqlType");
        QTest::addColumn<qint64>("indicator");
        QTest::addColumn<bool>("fails");
        QTest::newRow("text that fits") << int(SQL_WVARCHAR) << qint64(3 * sizeof(SQLWCHAR)) << false;
        QTest::newRow("text one character too long") << int(SQL_WVARCHAR) << qint64(4 * sizeof(SQLWCHAR)) << true;
        QTest::newRow("text of unknown length") << int(SQL_WVARCHAR) << qint64(SQL_NO_TOTAL) << true;
        QTest::newRow("binary that fits") << int(SQL_VARBINARY) << qint64(3) << false;
        QTest::newRow("binary one byte too long") << int(SQL_VARBINARY) << qint64(4) << true;
        QTest::newRow("NULL") << int(SQL_WVARCHAR) << qint64(SQL_NULL_DATA) << false;
    }

    void cutValueFailsInsteadOfShortening() {
        QFETCH(int, sqlType);
        QFETCH(qint64, indicator);
        QFETCH(bool, fails);
        OdbcColumnDescription description{QStringLiteral("v"), SQLSMALLINT(sqlType), 3, 0};
        const std::optional<BoundColumn::Kind> kind = BoundColumn::kindFor(description);
        QVERIFY(kind);
        BoundColumn column(description, *kind, 2);
        // As a driver leaves row 1 of a block: the buffer full, the indicator saying how much there was.
        std::fill_n(column.data() + column.elementBytes(), column.elementBytes(), 'a');
        column.indicators()[1] = SQLLEN(indicator);
        bool raised = false;
        QVariant value;
        try {
            value = column.value(1);
        } catch (const EDatabaseError& e) {
            raised = true;
            QVERIFY(QString::fromUtf8(e.what()).contains("'v'"));
        }
        QCOMPARE(raised, fails);
        if (!fails)
            QCOMPARE(value.isNull(), indicator == SQL_NULL_DATA);
    }

private:
    void connectRaw() {
        SQLHANDLE env = SQL_NULL_HANDLE;
        QVERIFY(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)));
        environment = OdbcHandle(SQL_HANDLE_ENV, env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLHANDLE dbc = SQL_NULL_HANDLE;
        QVERIFY(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)));
        raw = OdbcHandle(SQL_HANDLE_DBC, dbc);
        std::u16string text = wide(sim.odbcConnectionString());
        QVERIFY(SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
                                                SQLSMALLINT(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
        rawConnected = true;
    }

    // The first result with columns, read by fetcher; the rest of the batch drained.
    OdbcResult firstResult(const QString& statement, const Fetcher& fetcher) {
        SQLHANDLE stmtHandle = SQL_NULL_HANDLE;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, raw.get(), &stmtHandle)))
            return {};
        OdbcHandle stmt(SQL_HANDLE_STMT, stmtHandle);
        std::u16string text = wide(statement);
        SQLRETURN rc = SQLExecDirectW(stmtHandle, reinterpret_cast<SQLWCHAR*>(text.data()), SQLINTEGER(text.size()));
        std::optional<OdbcResult> first;
        while (SQL_SUCCEEDED(rc)) {
            SQLSMALLINT columns = 0;
            SQLNumResultCols(stmtHandle, &columns);
            if (columns > 0 && !first)
                first = fetcher(stmtHandle, raw.get(), columns);
            rc = SQLMoreResults(stmtHandle);
        }
        return first.value_or(OdbcResult{});
    }

    SimServer sim;
    TADOConnection connection;
    OdbcHandle environment;
    OdbcHandle raw;
    bool rawConnected = false;
};

QTEST_MAIN(TestBlockFetch)
#include "tst_block_fetch.moc"
