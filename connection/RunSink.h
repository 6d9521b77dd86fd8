#pragma once
// Where a run (a backup, a restore) reports to and asks its questions. A page implements it
// with its log box and message boxes; a front end without a window can implement it too.
// Progress and a cancel request belong here as further members when the runs report them.

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
};
