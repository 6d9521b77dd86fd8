// Reading a BACKUP's or RESTORE's progress from the server's messages, and what the progress
// area makes of it: only the numbers of a message count, so a server answering in Chinese is
// read as well as one answering in English.

#include "NewTexts.h"
#include "RunProgress.h"
#include "RunProgressArea.h"
#include "TADOConnection.h"

#include <QLabel>
#include <QProgressBar>
#include <QtTest>

Q_DECLARE_METATYPE(ServerMessage)
Q_DECLARE_METATYPE(RunProgress)

namespace {

RunProgress progressOf(int percent, std::optional<qint64> done = {}, std::optional<qint64> total = {}) {
    return {QStringLiteral("SalesDemo"), 2, 7, percent, done, total};
}

} // namespace

class TestRunProgress : public QObject {
    Q_OBJECT
private slots:
    void messagesMoveTheProgress_data() {
        QTest::addColumn<RunProgress>("before");
        QTest::addColumn<ServerMessage>("message");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<RunProgress>("after");
        const qint64 mb = 1 << 20;
        QTest::newRow("percent") << progressOf(10) << ServerMessage{3211, "20 percent processed."} << true
                                 << progressOf(20);
        QTest::newRow("percent in Chinese") << progressOf(0) << ServerMessage{3211, "已处理百分之 30。"} << true
                                            << progressOf(30);
        QTest::newRow("percent of a known size")
            << progressOf(0, 0, 10 * mb) << ServerMessage{3211, "40 percent processed."} << true
            << progressOf(40, 4 * mb, 10 * mb);
        QTest::newRow("never backwards") << progressOf(50) << ServerMessage{3211, "30 percent processed."} << false
                                         << progressOf(50);
        QTest::newRow("over 100 is 100") << progressOf(90) << ServerMessage{3211, "130 percent processed."} << true
                                         << progressOf(100);
        QTest::newRow("end of a backup")
            << progressOf(90) << ServerMessage{3014, "BACKUP DATABASE successfully processed 512 pages in 0.2 seconds "
                                                     "(20.000 MB/sec)."}
            << true << progressOf(100, 512 * 8192);
        QTest::newRow("end counts the pages, not the estimate")
            << progressOf(90, 9 * mb, 10 * mb)
            << ServerMessage{3014, "RESTORE DATABASE successfully processed 1000 pages in 1.5 seconds (5.2 MB/sec)."}
            << true << progressOf(100, 1000 * 8192, 10 * mb);
        QTest::newRow("pages of one file") << progressOf(90)
                                           << ServerMessage{4035, "Processed 496 pages for database 'x', file 'x' on "
                                                                  "file 1."}
                                           << false << progressOf(90);
        QTest::newRow("other message") << progressOf(10) << ServerMessage{5701, "Changed database context to 'm'."}
                                       << false << progressOf(10);
        QTest::newRow("no number") << progressOf(10) << ServerMessage{3211, "percent processed."} << false
                                   << progressOf(10);
    }
    void messagesMoveTheProgress() {
        QFETCH(RunProgress, before);
        QFETCH(ServerMessage, message);
        QFETCH(bool, moved);
        QFETCH(RunProgress, after);
        ProgressReader reader(before);
        QCOMPARE(reader.read(message), moved);
        QCOMPARE(reader.progress(), after);
    }

    void areaFigures_data() {
        QTest::addColumn<RunProgress>("progress");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QString>("figures");
        const qint64 mb = 1 << 20;
        QTest::newRow("not started") << progressOf(0) << qint64(5000) << "";
        QTest::newRow("size unknown: time left only") << progressOf(25) << qint64(3000) << "剩余约 9 秒";
        QTest::newRow("minutes left") << progressOf(10) << qint64(20000) << "剩余约 3 分 0 秒";
        QTest::newRow("size known") << progressOf(50, 5 * mb, 10 * mb) << qint64(2000)
                                    << "已完成 5.0 MB  2.5 MB/秒  剩余约 2 秒";
        QTest::newRow("done: nothing left") << progressOf(100, 8 * mb) << qint64(4000) << "已完成 8.0 MB  2.0 MB/秒";
    }
    void areaFigures() {
        QFETCH(RunProgress, progress);
        QFETCH(qint64, elapsedMs);
        QFETCH(QString, figures);
        QCOMPARE(RunProgressArea::figuresText(progress, elapsedMs), figures);
    }

    // The area shows a run only while it runs, and starts each run empty.
    void areaShowsARunAndHidesAfterIt() {
        QWidget page;
        auto* area = new RunProgressArea(&page);
        area->setGeometry(0, 0, 186, 28);
        page.show();
        QVERIFY(!area->isVisible());
        area->begin();
        QVERIFY(area->isVisible());
        area->showProgress(progressOf(40));
        QCOMPARE(area->lblProgressPlace->text(), QStringLiteral("2 / 7  SalesDemo"));
        QCOMPARE(area->barProgress->value(), 40);
        QVERIFY2(area->barProgress->text().startsWith("40%"), qPrintable(area->barProgress->text()));
        area->end();
        QVERIFY(!area->isVisible());
        area->begin();
        QVERIFY(area->lblProgressPlace->text().isEmpty());
        QVERIFY(area->barProgress->value() < 0);
    }
};

QTEST_MAIN(TestRunProgress)
#include "tst_run_progress.moc"
