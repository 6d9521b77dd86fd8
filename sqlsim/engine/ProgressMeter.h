#pragma once
// "N percent processed." (3211) of BACKUP and RESTORE WITH STATS, sent as the data moves: each
// message is flushed to the client the moment its step is reached, as a real server does.

#include "Results.h"

#include <QtGlobal>

namespace sqlsim {

class ProgressMeter {
public:
    // stepPercent 0: no STATS, nothing is reported.
    ProgressMeter(ResponseSink& sink, qint64 totalBytes, int stepPercent);

    // Another amount of data has been moved.
    void advance(qint64 bytes);
    // All data moved: the steps not yet reported (a total of zero bytes reports all of them).
    void finish();

private:
    void reportUpTo(qint64 percent);

    ResponseSink& sink_;
    qint64 totalBytes_;
    int step_;
    qint64 doneBytes_ = 0;
    qint64 reported_ = 0; // highest percent sent
};

} // namespace sqlsim
