#pragma once
// A failure of the database layer: the server's or the driver's message, with the
// driver's bracketed prefixes removed, plus SQLSTATE and native error number when known.
// what() is the message in UTF-8, which is what the default error display shows.

#include <QString>

#include <stdexcept>

class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const QString& message, const QString& sqlState = {}, int nativeError = 0)
        : std::runtime_error(message.toStdString()), message_(message), sqlState_(sqlState),
          nativeError_(nativeError) {}

    QString message() const { return message_; }
    QString sqlState() const { return sqlState_; }
    int nativeError() const { return nativeError_; }

private:
    QString message_;
    QString sqlState_;
    int nativeError_;
};

// A long statement that the user stopped and that the server abandoned (HY008).
class EOperationCancelled : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};
