#pragma once
// A small area on a page that shows how far a backup or restore has got: the database and its
// place in the run on one line, and under it a bar with the percentage, the amount done (when
// the size is known), the rate and the time left. Hidden while no run shows progress.

#include "RunProgress.h"

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
class QProgressBar;

class RunProgressArea : public QWidget {
    Q_OBJECT
public:
    explicit RunProgressArea(QWidget* parent = nullptr);

    // A run that reports progress starts: shown, empty.
    void begin();
    void showProgress(const RunProgress& progress);
    // The run has ended: hidden.
    void end();

    // "2 / 7  SalesDemo"
    static QString placeText(const RunProgress& progress);
    // What the bar says after the percentage, elapsedMs after the database's statement started.
    static QString figuresText(const RunProgress& progress, qint64 elapsedMs);

    QLabel* lblProgressPlace;
    QProgressBar* barProgress;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QElapsedTimer sinceStart_; // of the current database's statement
    int place_ = 0;
};
