#include "EventGuard.h"

#include "MessageBox.h"

namespace {

QString& titleStore() {
    static QString title;
    return title;
}

} // namespace

void setApplicationTitle(const QString& title) { titleStore() = title; }

QString applicationTitle() { return titleStore(); }

QString defaultErrorText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showDefaultError(const QString& message) {
    MessageBox::error(defaultErrorText(message), applicationTitle());
}

void showCurrentException() noexcept {
    try {
        try {
            throw;
        } catch (const EAbort&) {
            // silent by design
        } catch (const std::exception& e) {
            showDefaultError(QString::fromUtf8(e.what()));
        } catch (...) {
            showDefaultError(QStringLiteral("Unknown error"));
        }
    } catch (...) {
        // Showing the error failed as well; nothing sensible is left to do.
    }
}
