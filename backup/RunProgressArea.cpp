#include "RunProgressArea.h"

#include "NewTexts.h"

#include <QHelpEvent>
#include <QLocale>
#include <QPainter>
#include <QStyleOptionProgressBar>
#include <QToolTip>

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
    hide();
}

void RunProgressArea::begin() {
    started_ = false;
    progress_ = {};
    elapsedMs_ = 0;
    show();
    update();
}

void RunProgressArea::showProgress(const RunProgress& progress) {
    if (!started_ || progress.place != progress_.place)
        sinceStart_.start();
    started_ = true;
    progress_ = progress;
    elapsedMs_ = sinceStart_.elapsed();
    emit progressShown(progress);
    update();
}

void RunProgressArea::end() { hide(); }

QString RunProgressArea::placeLine() const { return started_ ? placeText(progress_) : QString(); }

QString RunProgressArea::barText() const {
    if (!started_)
        return {};
    const QString figures = figuresText(progress_, elapsedMs_);
    const QString percent = QStringLiteral("%1%").arg(progress_.percent);
    return figures.isEmpty() ? percent : percent + QStringLiteral("  ") + figures;
}

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

void RunProgressArea::paintEvent(QPaintEvent*) {
    // The name line on top, the bar under it, both the full width.
    QPainter painter(this);
    const int lineHeight = height() / 2;
    const QRect line(0, 0, width(), lineHeight);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(placeLine(), Qt::ElideMiddle, width()));
    QStyleOptionProgressBar bar;
    bar.initFrom(this);
    bar.rect = QRect(0, lineHeight, width(), height() - lineHeight);
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = started_ ? progress_.percent : 0;
    bar.text = fontMetrics().elidedText(barText(), Qt::ElideRight, width());
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    style()->drawControl(QStyle::CE_ProgressBar, &bar, &painter, this);
}

bool RunProgressArea::event(QEvent* event) {
    // The whole of both lines, when the area is too narrow for them.
    if (event->type() == QEvent::ToolTip) {
        const QString tip = started_ ? placeLine() + QLatin1Char('\n') + barText() : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(event);
}
