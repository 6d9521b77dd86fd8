#pragma once
// Where a run (a backup, a restore) reports to and asks its questions. A page implements it
// with its log box and message boxes; a front end without a window can implement it too.

#include "RunProgress.h"

#include <QString>

class RunSink {
public:
    virtual ~RunSink() = default;

    // One line of the run's log.
    virtual void logLine(const QString& line) = 0;
    // A problem that ends the run; the user acknowledges it.
    virtual void warn(const QString& text) = 0;
    // A yes/no question; true when the run may go on.
    virtual bool confirm(const QString& question) = 0;
    // How far the running statement has got, when the run was asked to show it: once with 0 as
    // each database starts, then as the server reports. Told on the window's thread.
    virtual void progress(const RunProgress&) {}
};
