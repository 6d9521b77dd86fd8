#pragma once
// Every event handler of every window runs through guarded(): an error that the handler
// does not catch itself ends the handler and is shown by the default error display, owned by
// the handler's window, and never unwinds into Qt's own frames.

#include <QObject>
#include <QString>
#include <QWidget>

#include <exception>
#include <type_traits>
#include <utility>

// The silent abort: ends a handler and shows nothing.
class EAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

// The application title, the caption of the default error display. It is kept here rather than
// as Qt's application display name, which the X11 platform appends to every window's caption.
inline const QString kApplicationTitle = QStringLiteral("MS SQL SERVER 数据库备份恢复工具(V1.0)");

// The text the default error display shows: "." is appended when the text is not empty
// and its last character sorts after "." (letters, digits, CJK do; blank, "!" and "." do not).
QString defaultErrorText(const QString& message);

// Shows an error message as the default error display does: the application title as caption,
// error icon, one OK button, owned by the owner's window.
void showDefaultError(QWidget* owner, const QString& message);

// Shows the error that is being handled (call from a catch block): std::exception texts are
// UTF-8; EAbort shows nothing.
void showCurrentException(QWidget* owner) noexcept;

template <typename Handler>
void guarded(QWidget* owner, Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        showCurrentException(owner);
    }
}

// QObject::connect for a handler that must pass through the default error display, shown over
// the context's window.
template <typename Sender, typename Signal, typename Functor>
QMetaObject::Connection connectGuarded(Sender* sender, Signal signal, QWidget* context, Functor&& handler) {
    return QObject::connect(sender, signal, context,
                            [context, h = std::forward<Functor>(handler)](auto&&... args) {
                                guarded(context, [&] {
                                    // Handlers may ignore the signal's arguments (clicked(bool) and the like).
                                    if constexpr (std::is_invocable_v<const Functor&, decltype(args)...>)
                                        h(std::forward<decltype(args)>(args)...);
                                    else
                                        h();
                                });
                            });
}
