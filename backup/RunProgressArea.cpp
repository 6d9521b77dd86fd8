#include "RunProgressArea.h"

#include "NewTexts.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>

namespace {

QString amount(double bytes) {
    return QLocale::c().formattedDataSize(qint64(bytes), 1, QLocale::DataSizeTraditionalFormat);
}

QString timeLeft(qint64 seconds) {
    using NewTexts::text;
    if (seconds < 60)
        return text(NewTexts::ProgressSecondsLeft).arg(seconds);
    return text(NewTexts::ProgressMinutesLeft).arg(seconds / 60).arg(seconds % 60);
}

} // namespace

RunProgressArea::RunProgressArea(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("RunProgressArea"));
    setAccessibleName(NewTexts::text(NewTexts::ProgressArea));
    lblProgressPlace = new QLabel(this); // owned by the area
    lblProgressPlace->setObjectName(QStringLiteral("lblProgressPlace"));
    barProgress = new QProgressBar(this);
    barProgress->setObjectName(QStringLiteral("barProgress"));
    barProgress->setRange(0, 100);
    barProgress->setAlignment(Qt::AlignCenter);
    barProgress->setAccessibleName(NewTexts::text(NewTexts::ProgressArea));
    hide();
}

void RunProgressArea::resizeEvent(QResizeEvent*) {
    // The name line on top, the bar under it, both the full width.
    const int lineHeight = height() / 2;
    lblProgressPlace->setGeometry(0, 0, width(), lineHeight);
    barProgress->setGeometry(0, lineHeight, width(), height() - lineHeight);
}

void RunProgressArea::begin() {
    place_ = 0;
    lblProgressPlace->clear();
    barProgress->reset();
    barProgress->setFormat(QString());
    show();
}

void RunProgressArea::showProgress(const RunProgress& progress) {
    if (progress.place != place_) {
        place_ = progress.place;
        sinceStart_.start();
    }
    const QString place = placeText(progress);
    lblProgressPlace->setText(lblProgressPlace->fontMetrics().elidedText(place, Qt::ElideMiddle, width()));
    lblProgressPlace->setToolTip(place);
    // %p is the bar's own percentage; the figures carry no "%" of their own.
    barProgress->setFormat(QStringLiteral("%p%  ") + figuresText(progress, sinceStart_.elapsed()));
    barProgress->setValue(progress.percent);
    barProgress->setToolTip(barProgress->text());
}

void RunProgressArea::end() { hide(); }

QString RunProgressArea::placeText(const RunProgress& progress) {
    return NewTexts::text(NewTexts::ProgressPlace).arg(progress.place).arg(progress.count).arg(progress.database);
}

QString RunProgressArea::figuresText(const RunProgress& progress, qint64 elapsedMs) {
    QStringList parts;
    if (progress.bytesDone)
        parts << NewTexts::text(NewTexts::ProgressDone).arg(amount(double(*progress.bytesDone)));
    const ProgressPace pace = paceOf(progress, elapsedMs);
    if (pace.bytesPerSecond)
        parts << NewTexts::text(NewTexts::ProgressRate).arg(amount(*pace.bytesPerSecond));
    if (pace.secondsLeft && progress.percent < 100)
        parts << timeLeft(*pace.secondsLeft);
    return parts.join(QStringLiteral("  "));
}
