// The statement texts of the restore page, blank for blank, and the set number of an entry.

#include "BackupSetNumber.h"
#include "EConvertError.h"
#include "RestoreStatements.h"

#include <QtTest>

using Moves = QList<RestoreFileMove>;

class TestRestoreStatements : public QObject {
    Q_OBJECT
private slots:
    void restoreStatement_data();
    void restoreStatement();
    void readStatements_data();
    void readStatements();
    void setNumber_data();
    void setNumber();
    void setNumberRejects_data();
    void setNumberRejects();
    void entryTextRoundTrip_data();
    void entryTextRoundTrip();
};

void TestRestoreStatements::restoreStatement_data() {
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("setNumber");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<Moves>("moves");
    QTest::addColumn<QString>("expected");

    const Moves one{{"Sales", "C:\\Data\\Sales2.mdf"}};
    const Moves three{{"Sales", "C:\\D\\a.mdf"}, {"Sales_2", "C:\\D\\b.ndf"}, {"Sales_log", "C:\\D\\c.ldf"}};

    QTest::newRow("one row, no replace")
        << "Sales2" << "C:\\Bak\\Sales.Bak" << 1 << false << one
        << " Restore DataBase [Sales2] FROM  DISK = N'C:\\Bak\\Sales.Bak' With File =1, Move N'Sales' TO "
           "N'C:\\Data\\Sales2.mdf'";
    QTest::newRow("one row, replace")
        << "Sales2" << "C:\\Bak\\Sales.Bak" << 1 << true << one
        << " Restore DataBase [Sales2] FROM  DISK = N'C:\\Bak\\Sales.Bak' With File =1, REPLACE , Move N'Sales' TO "
           "N'C:\\Data\\Sales2.mdf'";
    QTest::newRow("three rows, set 12")
        << "S" << "C:\\s.bak" << 12 << false << three
        << " Restore DataBase [S] FROM  DISK = N'C:\\s.bak' With File =12, Move N'Sales' TO N'C:\\D\\a.mdf', Move "
           "N'Sales_2' TO N'C:\\D\\b.ndf', Move N'Sales_log' TO N'C:\\D\\c.ldf'";
    QTest::newRow("three rows, replace")
        << "S" << "C:\\s.bak" << 3 << true << three
        << " Restore DataBase [S] FROM  DISK = N'C:\\s.bak' With File =3, REPLACE , Move N'Sales' TO N'C:\\D\\a.mdf', "
           "Move N'Sales_2' TO N'C:\\D\\b.ndf', Move N'Sales_log' TO N'C:\\D\\c.ldf'";
    QTest::newRow("empty target path")
        << "S" << "C:\\s.bak" << 1 << false << Moves{{"S", ""}}
        << " Restore DataBase [S] FROM  DISK = N'C:\\s.bak' With File =1, Move N'S' TO N''";
    QTest::newRow("blank database name kept")
        << " " << "C:\\s.bak" << 1 << false << Moves{{"S", "C:\\s.mdf"}}
        << " Restore DataBase [ ] FROM  DISK = N'C:\\s.bak' With File =1, Move N'S' TO N'C:\\s.mdf'";
    QTest::newRow("hostile values")
        << "x]; DROP DATABASE master;--" << "C:\\it's.bak" << 1 << false
        << Moves{{"a'); SHUTDOWN --", "C:\\o'brien]\\销售.mdf"}}
        << " Restore DataBase [x]]; DROP DATABASE master;--] FROM  DISK = N'C:\\it''s.bak' With File =1, Move "
           "N'a''); SHUTDOWN --' TO N'C:\\o''brien]\\销售.mdf'";
}

void TestRestoreStatements::restoreStatement() {
    QFETCH(QString, database);
    QFETCH(QString, file);
    QFETCH(int, setNumber);
    QFETCH(bool, replace);
    QFETCH(Moves, moves);
    QFETCH(QString, expected);
    QCOMPARE(buildRestoreStatement(database, file, setNumber, replace, moves), expected);
}

void TestRestoreStatements::readStatements_data() {
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");

    QTest::newRow("header") << headerOnlyStatement("C:\\Bak\\Sales.Bak")
                            << "RESTORE HEADERONLY FROM  DISK = N'C:\\Bak\\Sales.Bak'  WITH   NOUNLOAD ";
    QTest::newRow("header, quote") << headerOnlyStatement("C:\\it's.bak")
                                   << "RESTORE HEADERONLY FROM  DISK = N'C:\\it''s.bak'  WITH   NOUNLOAD ";
    QTest::newRow("file list, set 12")
        << fileListOnlyStatement("C:\\Bak\\Sales.Bak", 12)
        << "RESTORE FILELISTONLY FROM  DISK = N'C:\\Bak\\Sales.Bak' WITH  FILE = 12 ,  NOUNLOAD ";
    QTest::newRow("file list, quote")
        << fileListOnlyStatement("C:\\'x'\\备份.bak", 1)
        << "RESTORE FILELISTONLY FROM  DISK = N'C:\\''x''\\备份.bak' WITH  FILE = 1 ,  NOUNLOAD ";
    QTest::newRow("file exists") << fileExistStatement("C:\\Data\\a.mdf") << "xp_fileexist N'C:\\Data\\a.mdf'";
    QTest::newRow("file exists, quote") << fileExistStatement("C:\\a'; exec xp_cmdshell 'x")
                                        << "xp_fileexist N'C:\\a''; exec xp_cmdshell ''x'";
    QTest::newRow("file exists, empty") << fileExistStatement("") << "xp_fileexist N''";
}

void TestRestoreStatements::readStatements() {
    QFETCH(QString, actual);
    QFETCH(QString, expected);
    QCOMPARE(actual, expected);
}

void TestRestoreStatements::setNumber_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("number");

    QTest::newRow("first") << "1 2008-03-15 14:05:09" << 1;
    QTest::newRow("twelve") << "12 2008-03-15 14:05:09" << 12;
    QTest::newRow("control characters") << "\t5\r 2008" << 5;
    QTest::newRow("only up to first blank") << "3 4 5" << 3;
    QTest::newRow("trailing blank only") << "42 " << 42;
}

void TestRestoreStatements::setNumber() {
    QFETCH(QString, entry);
    QFETCH(int, number);
    QCOMPARE(backupSetNumber(entry), number);
}

void TestRestoreStatements::setNumberRejects_data() {
    QTest::addColumn<QString>("entry");

    QTest::newRow("empty") << "";
    QTest::newRow("no blank") << "12";
    QTest::newRow("letters") << "x 2008-03-15";
    QTest::newRow("date first") << "2008-03-15 14:05:09";
    QTest::newRow("too large") << "99999999999 2008";
    QTest::newRow("blank first") << " 7 2008-03-15"; // the first blank ends the number at once
}

void TestRestoreStatements::setNumberRejects() {
    QFETCH(QString, entry);
    try {
        backupSetNumber(entry);
        QFAIL("no error raised");
    } catch (const EConvertError& e) {
        QVERIFY(QString::fromUtf8(e.what()).contains("not a valid integer"));
    }
}

void TestRestoreStatements::entryTextRoundTrip_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QDateTime>("finished");
    QTest::addColumn<QString>("text");

    QTest::newRow("afternoon") << 3 << QDateTime(QDate(2008, 3, 15), QTime(14, 5, 9)) << "3 2008-03-15 14:05:09";
    QTest::newRow("midnight") << 12 << QDateTime(QDate(2024, 12, 1), QTime(0, 0, 0)) << "12 2024-12-01 00:00:00";
}

void TestRestoreStatements::entryTextRoundTrip() {
    QFETCH(int, position);
    QFETCH(QDateTime, finished);
    QFETCH(QString, text);
    QCOMPARE(backupSetEntryText(position, finished), text);
    QCOMPARE(backupSetNumber(text), position);
}

QTEST_GUILESS_MAIN(TestRestoreStatements)
#include "tst_RestoreStatements.moc"
