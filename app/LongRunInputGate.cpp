#include "LongRunInputGate.h"

#include <QApplication>
#include <QKeyEvent>

namespace {

bool isUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

} // namespace

LongRunInputGate::LongRunInputGate(QWidget* window, std::function<void()> stopRequested)
    : window_(window), stopRequested_(std::move(stopRequested)) {
    QCoreApplication::instance()->installEventFilter(this);
}

LongRunInputGate::~LongRunInputGate() { QCoreApplication::instance()->removeEventFilter(this); }

bool LongRunInputGate::eventFilter(QObject* watched, QEvent* event) {
    if (!isUserInput(event->type()) || !window_)
        return false;
    // A box shown meanwhile (the stop question, a warning) takes its input; Qt itself keeps
    // input away from the windows behind it.
    if (QApplication::activeModalWidget())
        return false;
    Q_UNUSED(watched);
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !asking_) {
        asking_ = true;
        stopRequested_();
        asking_ = false;
    }
    return true;
}
