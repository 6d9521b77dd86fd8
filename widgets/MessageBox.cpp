#include "MessageBox.h"

#include <QApplication>
#include <QVariant>

namespace {

// The window property through which a recorder is found from any widget inside the window.
constexpr char kRecorderProperty[] = "sqlbackupMessageBoxRecorder";

// The outermost window above the widget: a picker's box belongs to the main window too.
QWidget* topWindow(QWidget* widget) {
    QWidget* top = widget ? widget->window() : nullptr;
    while (top && top->parentWidget())
        top = top->parentWidget()->window();
    return top;
}

ScopedMessageBoxRecorder* recorderOf(QWidget* owner) {
    for (QWidget* w = owner; w; w = w->parentWidget())
        if (auto* r = w->property(kRecorderProperty).value<ScopedMessageBoxRecorder*>())
            return r;
    return nullptr;
}

} // namespace

void MessageBox::information(QWidget* owner, const QString& text) {
    show(owner, {QStringLiteral("提示"), text, QMessageBox::Information, QMessageBox::Ok});
}

void MessageBox::warning(QWidget* owner, const QString& text) {
    show(owner, {QStringLiteral("警告"), text, QMessageBox::Information, QMessageBox::Ok});
}

bool MessageBox::question(QWidget* owner, const QString& text) {
    return show(owner, {QStringLiteral("问题"), text, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No}) ==
           QMessageBox::Yes;
}

void MessageBox::error(QWidget* owner, const QString& text, const QString& caption) {
    show(owner, {caption, text, QMessageBox::Critical, QMessageBox::Ok});
}

QMessageBox::StandardButton MessageBox::show(QWidget* owner, const Shown& shown) {
    if (ScopedMessageBoxRecorder* recorder = recorderOf(owner))
        return recorder->answer(shown);

    QWidget* parent = owner ? topWindow(owner) : QApplication::activeWindow();
    QMessageBox box(shown.icon, shown.caption, shown.text, shown.buttons, parent);
    box.setWindowModality(Qt::ApplicationModal);
    // Texts carry paths, names and server messages: a "<b>" in one must not turn the box to HTML.
    box.setTextFormat(Qt::PlainText);
    if (shown.buttons & QMessageBox::No)
        box.setEscapeButton(QMessageBox::No);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

ScopedMessageBoxRecorder::ScopedMessageBoxRecorder(QWidget* window, QMessageBox::StandardButton answer)
    : window_(window), answer_(answer) {
    window_->setProperty(kRecorderProperty, QVariant::fromValue(this));
}

ScopedMessageBoxRecorder::~ScopedMessageBoxRecorder() {
    if (window_)
        window_->setProperty(kRecorderProperty, QVariant());
}

QMessageBox::StandardButton ScopedMessageBoxRecorder::answer(const MessageBox::Shown& shown) {
    shown_.append(shown);
    if (look_)
        look_(shown);
    if (!queued_.isEmpty())
        return queued_.takeFirst();
    return answer_;
}
