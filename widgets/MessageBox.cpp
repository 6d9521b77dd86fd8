#include "MessageBox.h"

#include <QApplication>
#include <QPointer>

namespace {

QPointer<QWidget>& ownerWindow() {
    static QPointer<QWidget> owner;
    return owner;
}

MessageBox::Responder& responder() {
    static MessageBox::Responder r;
    return r;
}

} // namespace

void MessageBox::information(const QString& text) {
    show({QStringLiteral("提示"), text, QMessageBox::Information, QMessageBox::Ok});
}

void MessageBox::warning(const QString& text) {
    show({QStringLiteral("警告"), text, QMessageBox::Information, QMessageBox::Ok});
}

bool MessageBox::question(const QString& text) {
    return show({QStringLiteral("问题"), text, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No}) ==
           QMessageBox::Yes;
}

void MessageBox::error(const QString& text, const QString& caption) {
    show({caption, text, QMessageBox::Critical, QMessageBox::Ok});
}

void MessageBox::setOwner(QWidget* owner) { ownerWindow() = owner; }

void MessageBox::setResponder(Responder r) { responder() = std::move(r); }

QMessageBox::StandardButton MessageBox::show(const Shown& shown) {
    if (responder())
        return responder()(shown);

    QWidget* owner = ownerWindow() ? ownerWindow().data() : QApplication::activeWindow();
    QMessageBox box(shown.icon, shown.caption, shown.text, shown.buttons, owner);
    box.setWindowModality(Qt::ApplicationModal);
    // Texts carry paths, names and server messages: a "<b>" in one must not turn the box to HTML.
    box.setTextFormat(Qt::PlainText);
    if (shown.buttons & QMessageBox::No)
        box.setEscapeButton(QMessageBox::No);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

ScopedMessageBoxRecorder::ScopedMessageBoxRecorder(QMessageBox::StandardButton answer) : answer_(answer) {
    MessageBox::setResponder([this](const MessageBox::Shown& shown) {
        shown_.append(shown);
        if (!queued_.isEmpty())
            return queued_.takeFirst();
        return answer_;
    });
}

ScopedMessageBoxRecorder::~ScopedMessageBoxRecorder() { MessageBox::setResponder({}); }
