#pragma once
// How far a BACKUP or RESTORE has got, read from the messages the server sends while it works:
// 3211 "N percent processed." (asked for with STATS = n) and, at the end, 3014 "... successfully
// processed N pages ...". Only the numbers are read, so a server speaking another language
// than English is understood too.

#include <QString>

#include <optional>

struct ServerMessage;

struct RunProgress {
    QString database;
    int place = 0; // 1-based position of the database in the run
    int count = 0; // databases in the run
    int percent = 0;
    std::optional<qint64> bytesDone;  // when the size is known, or the server said it at the end
    std::optional<qint64> bytesTotal; // the backup's size, when known beforehand

    bool operator==(const RunProgress&) const = default;
};

// Rate and time left of one database's statement, from what it has done after elapsedMs.
struct ProgressPace {
    std::optional<double> bytesPerSecond;
    std::optional<qint64> secondsLeft;
};
ProgressPace paceOf(const RunProgress& progress, qint64 elapsedMs);

class ProgressReader {
public:
    explicit ProgressReader(RunProgress start) : progress_(std::move(start)) {}

    // True when the message moved the progress on.
    bool read(const ServerMessage& message);
    const RunProgress& progress() const { return progress_; }

private:
    RunProgress progress_;
};
