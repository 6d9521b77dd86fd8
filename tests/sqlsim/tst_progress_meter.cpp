// The progress messages of BACKUP and RESTORE WITH STATS: which steps are reported as the data
// moves, and that each batch of them is flushed to the client at once.

#include "ProgressMeter.h"

#include <QtTest>

namespace {

using namespace sqlsim;

class RecordingSink : public ResponseSink {
public:
    void add(ResponseItem item) override {
        if (const auto* m = std::get_if<Message>(&item)) {
            QCOMPARE(m->number, 3211);
            percents << m->text.section(QLatin1Char(' '), 0, 0).toInt();
        }
    }
    void flush() override { flushedAfter << percents.size(); }
    QList<int> percents;
    QList<int> flushedAfter; // how many messages had been added at each flush
};

} // namespace

class TestProgressMeter : public QObject {
    Q_OBJECT
private slots:
    void stepsAreReportedAsTheDataMoves_data() {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("step");
        QTest::addColumn<QList<qint64>>("chunks");
        QTest::addColumn<QList<int>>("sentAfterEachChunk");
        QTest::addColumn<QList<int>>("percents");
        QTest::addColumn<QList<int>>("flushedAfter");
        QTest::newRow("every 25, even chunks")
            << qint64(400) << 25 << QList<qint64>{100, 100, 100, 100} << QList<int>{1, 2, 3, 4}
            << QList<int>{25, 50, 75, 100} << QList<int>{1, 2, 3, 4};
        QTest::newRow("one chunk crosses three steps, one flush")
            << qint64(1000) << 10 << QList<qint64>{50, 300, 650} << QList<int>{0, 3, 10}
            << QList<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100} << QList<int>{3, 10};
        QTest::newRow("a step counts only once reached") << qint64(1000) << 50 << QList<qint64>{499, 1}
                                                         << QList<int>{0, 1} << QList<int>{50, 100} << QList<int>{1, 2};
        QTest::newRow("a step that does not divide 100 stops below it")
            << qint64(100) << 30 << QList<qint64>{100} << QList<int>{3} << QList<int>{30, 60, 90} << QList<int>{3};
        QTest::newRow("no STATS: silent")
            << qint64(100) << 0 << QList<qint64>{100} << QList<int>{0} << QList<int>{} << QList<int>{};
        QTest::newRow("nothing to move: finish reports every step")
            << qint64(0) << 50 << QList<qint64>{} << QList<int>{} << QList<int>{50, 100} << QList<int>{2};
    }
    void stepsAreReportedAsTheDataMoves() {
        QFETCH(qint64, total);
        QFETCH(int, step);
        QFETCH(QList<qint64>, chunks);
        QFETCH(QList<int>, sentAfterEachChunk);
        QFETCH(QList<int>, percents);
        QFETCH(QList<int>, flushedAfter);
        RecordingSink sink;
        ProgressMeter meter(sink, total, step);
        QList<int> sent;
        for (qint64 chunk : chunks) {
            meter.advance(chunk);
            sent << sink.percents.size();
        }
        meter.finish();
        meter.finish(); // a second finish adds nothing
        QCOMPARE(sent, sentAfterEachChunk);
        QCOMPARE(sink.percents, percents);
        QCOMPARE(sink.flushedAfter, flushedAfter);
    }
};

QTEST_GUILESS_MAIN(TestProgressMeter)
#include "tst_progress_meter.moc"
