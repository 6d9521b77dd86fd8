#include "EventGuard.h"

#include "MessageBox.h"

QString defaultErrorText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showDefaultError(QWidget* owner, const QString& message) {
    MessageBox::error(owner, defaultErrorText(message), kApplicationTitle);
}

void showCurrentException(QWidget* owner) noexcept {
    try {
        try {
            throw;
        } catch (const EAbort&) {
            // silent by design
        } catch (const std::exception& e) {
            showDefaultError(owner, QString::fromUtf8(e.what()));
        } catch (...) {
            showDefaultError(owner, QStringLiteral("Unknown error"));
        }
    } catch (...) {
        // Showing the error failed as well; nothing sensible is left to do.
    }
}
