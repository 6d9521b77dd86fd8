#pragma once
// The one way the program shows a message box. Every box is modal and owned by the top window
// of the widget that shows it; captions, icons and buttons are the program's three fixed forms
// plus the default error display. A test answers the boxes of one window with a recorder that
// it attaches to that window, so no test ever blocks on a modal dialog.

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class MessageBox {
public:
    struct Shown {
        QString caption;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
    };

    // "提示", information icon, OK.
    static void information(QWidget* owner, const QString& text);
    // "警告", information icon, OK.
    static void warning(QWidget* owner, const QString& text);
    // "问题", question icon, Yes and No. True when the answer is Yes.
    static bool question(QWidget* owner, const QString& text);
    // Error icon, one OK button, the given caption (the default error display).
    static void error(QWidget* owner, const QString& text, const QString& caption);

private:
    static QMessageBox::StandardButton show(QWidget* owner, const Shown& shown);
};

// Records every box shown by the window (or by a widget or dialog inside it) and answers with a
// fixed button instead of a person; the window shows real boxes again once it is gone.
class ScopedMessageBoxRecorder : public QObject {
    Q_OBJECT
public:
    explicit ScopedMessageBoxRecorder(QWidget* window, QMessageBox::StandardButton answer = QMessageBox::Ok);
    ~ScopedMessageBoxRecorder() override;
    ScopedMessageBoxRecorder(const ScopedMessageBoxRecorder&) = delete;
    ScopedMessageBoxRecorder& operator=(const ScopedMessageBoxRecorder&) = delete;

    // Answers to give in turn; once used up, the fixed answer applies.
    void queueAnswer(QMessageBox::StandardButton answer) { queued_.push_back(answer); }
    // Called as each box appears, for a test that looks at the world while the user is asked.
    void onShown(std::function<void(const MessageBox::Shown&)> look) { look_ = std::move(look); }
    const QList<MessageBox::Shown>& shown() const { return shown_; }
    void clear() { shown_.clear(); }

    QMessageBox::StandardButton answer(const MessageBox::Shown& shown);

private:
    QPointer<QWidget> window_;
    QMessageBox::StandardButton answer_;
    QList<QMessageBox::StandardButton> queued_;
    QList<MessageBox::Shown> shown_;
    std::function<void(const MessageBox::Shown&)> look_;
};
