// The string grid against QTableWidget on a large, sparsely written table: time and memory to set
// it up, and time to paint one full view. Each side runs in its own process (the mode argument)
// so that memory figures do not mix; scripts/bench runs both several times and compares medians.
//
// bench_grid ours|peer   prints: setup_ms=<n> paint_ms=<n> rss_kb=<n>

#include "HtGrids.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTableWidget>

#include <cstdio>

namespace {

constexpr int kRows = 100000;
constexpr int kCols = 100;
constexpr int kWritten = 10000;

long residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// Cells spread over the whole table, the first screenful included so painting has text to draw.
QPoint cellNumber(int i) { return QPoint(1 + (i * 7) % (kCols - 1), 1 + int((qint64(i) * 9973) % (kRows - 1))); }

template <typename Setup, typename Paint>
int measure(Setup setup, Paint paint) {
    const long before = residentKb();
    QElapsedTimer timer;
    timer.start();
    setup();
    const qint64 setupMs = timer.elapsed();
    const long after = residentKb();
    QImage image(800, 600, QImage::Format_ARGB32);
    timer.restart();
    constexpr int kPaints = 20;
    for (int i = 0; i < kPaints; ++i)
        paint(image);
    const double paintMs = double(timer.nsecsElapsed()) / 1e6 / kPaints;
    std::printf("setup_ms=%lld paint_ms=%.3f rss_kb=%ld\n", setupMs, paintMs, after - before);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QStringLiteral("ours");
    if (mode == QLatin1String("ours")) {
        THtStringGrid grid;
        grid.resize(800, 600);
        return measure(
            [&] {
                grid.setColCount(kCols);
                grid.setRowCount(kRows);
                for (int i = 0; i < kWritten; ++i) {
                    const QPoint c = cellNumber(i);
                    grid.setCellText(c.x(), c.y(), QStringLiteral("cell %1").arg(i));
                }
                for (int r = 1; r < 30; ++r)
                    for (int c = 1; c < 15; ++c)
                        grid.setCellText(c, r, QStringLiteral("v%1.%2").arg(r).arg(c));
            },
            [&](QImage& image) { grid.render(&image); });
    }
    QTableWidget table;
    table.resize(800, 600);
    return measure(
        [&] {
            table.setColumnCount(kCols);
            table.setRowCount(kRows);
            for (int i = 0; i < kWritten; ++i) {
                const QPoint c = cellNumber(i);
                table.setItem(c.y(), c.x(), new QTableWidgetItem(QStringLiteral("cell %1").arg(i)));
            }
            for (int r = 1; r < 30; ++r)
                for (int c = 1; c < 15; ++c)
                    table.setItem(r, c, new QTableWidgetItem(QStringLiteral("v%1.%2").arg(r).arg(c)));
        },
        [&](QImage& image) { table.render(&image); });
}
