#pragma once
// The one way the program shows a message box. Every box is modal and owned by the
// application window; captions, icons and buttons are the program's three fixed forms plus
// the default error display. Tests install a responder that answers instead of a person,
// so no test ever blocks on a modal dialog.

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

class MessageBox {
public:
    struct Shown {
        QString caption;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
    };
    using Responder = std::function<QMessageBox::StandardButton(const Shown&)>;

    // "提示", information icon, OK.
    static void information(const QString& text);
    // "警告", information icon, OK.
    static void warning(const QString& text);
    // "问题", question icon, Yes and No. True when the answer is Yes.
    static bool question(const QString& text);
    // Error icon, one OK button, the given caption (the default error display).
    static void error(const QString& text, const QString& caption);

    // The window that owns every box; null means the active window.
    static void setOwner(QWidget* owner);

    // Tests: answer every box with the responder instead of showing it; an empty
    // responder restores real dialogs.
    static void setResponder(Responder responder);

private:
    static QMessageBox::StandardButton show(const Shown& shown);
};

// Records every box shown and answers with a fixed button; restores real dialogs on scope exit.
class ScopedMessageBoxRecorder {
public:
    explicit ScopedMessageBoxRecorder(QMessageBox::StandardButton answer = QMessageBox::Ok);
    ~ScopedMessageBoxRecorder();
    ScopedMessageBoxRecorder(const ScopedMessageBoxRecorder&) = delete;
    ScopedMessageBoxRecorder& operator=(const ScopedMessageBoxRecorder&) = delete;

    // Answers to give in turn; once used up, the fixed answer applies.
    void queueAnswer(QMessageBox::StandardButton answer) { queued_.push_back(answer); }
    const QList<MessageBox::Shown>& shown() const { return shown_; }
    void clear() { shown_.clear(); }

private:
    QMessageBox::StandardButton answer_;
    QList<QMessageBox::StandardButton> queued_;
    QList<MessageBox::Shown> shown_;
};
