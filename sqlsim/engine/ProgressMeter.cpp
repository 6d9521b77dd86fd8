#include "ProgressMeter.h"

#include "MessageCatalog.h"

#include <algorithm>

namespace sqlsim {

ProgressMeter::ProgressMeter(ResponseSink& sink, qint64 totalBytes, int stepPercent)
    : sink_(sink), totalBytes_(std::max<qint64>(totalBytes, 0)), step_(std::clamp(stepPercent, 0, 100)) {}

void ProgressMeter::advance(qint64 bytes) {
    doneBytes_ = std::min(totalBytes_, doneBytes_ + std::max<qint64>(bytes, 0));
    if (totalBytes_ > 0)
        reportUpTo(doneBytes_ * 100 / totalBytes_);
}

void ProgressMeter::finish() {
    doneBytes_ = totalBytes_;
    reportUpTo(100);
}

void ProgressMeter::reportUpTo(qint64 percent) {
    if (step_ == 0)
        return;
    bool sent = false;
    for (qint64 next = reported_ + step_; next <= percent; next += step_) {
        sink_.add(MessageCatalog::make(3211, {QString::number(next)}));
        reported_ = next;
        sent = true;
    }
    if (sent)
        sink_.flush();
}

} // namespace sqlsim
