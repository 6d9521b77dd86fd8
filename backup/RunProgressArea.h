#pragma once
// A small area on a page that shows how far a backup or restore has got: the database and its
// place in the run on one line, and under it a bar with the percentage, the amount done (when
// the size is known), the rate and the time left. Hidden while no run shows progress.
//
// It is painted, not built of a label and a progress bar: a progress report only stores the
// figures and asks for a paint, so a run of many small databases, each reporting a dozen steps,
// costs one paint a frame (QProgressBar repaints at once on every step).

#include "RunProgress.h"

#include <QElapsedTimer>
#include <QWidget>

class RunProgressArea : public QWidget {
    Q_OBJECT
public:
    explicit RunProgressArea(QWidget* parent = nullptr);

    // A run that reports progress starts: shown, empty.
    void begin();
    void showProgress(const RunProgress& progress);
    // The run has ended: hidden.
    void end();

    // What the area shows now: "2 / 7  SalesDemo", and the bar's "45%  已完成 …  剩余约 3 秒".
    QString placeLine() const;
    QString barText() const;
    const RunProgress& shown() const { return progress_; }

    static QString placeText(const RunProgress& progress);
    // What the bar says after the percentage, elapsedMs after the database's statement started.
    static QString figuresText(const RunProgress& progress, qint64 elapsedMs);

signals:
    // Each report, as it arrives (the paint follows once a frame).
    void progressShown(const RunProgress& progress);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool started_ = false; // a report has come since begin()
    RunProgress progress_;
    qint64 elapsedMs_ = 0;     // of the current database's statement, at its last report
    QElapsedTimer sinceStart_; // of the current database's statement
};
