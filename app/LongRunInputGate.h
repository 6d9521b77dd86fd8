#pragma once
// While a BACKUP or RESTORE runs, the window's event loop takes user input again, so that Esc
// and the close box can reach the window; this gate, installed on the application for the
// run, keeps every other key, click and wheel away from the window and its pickers, which
// stay as if disabled. Boxes shown during the run (the stop question) get their input.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class LongRunInputGate : public QObject {
    Q_OBJECT
public:
    // window: the main window; stopRequested runs for Esc pressed in it.
    LongRunInputGate(QWidget* window, std::function<void()> stopRequested);
    ~LongRunInputGate() override;
    LongRunInputGate(const LongRunInputGate&) = delete;
    LongRunInputGate& operator=(const LongRunInputGate&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
    std::function<void()> stopRequested_;
    bool asking_ = false;
};
