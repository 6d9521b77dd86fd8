#pragma once
// A statement that fails raises SqlError with the server messages to send, in order.
// The batch runner turns it into ERROR items and a DONE with the error bit.

#include "Results.h"

#include <QByteArray>

#include <exception>
#include <vector>

namespace sqlsim {

class SqlError : public std::exception {
public:
    explicit SqlError(std::vector<Message> messages) : messages_(std::move(messages)) {
        if (!messages_.empty())
            what_ = messages_.front().text.toUtf8();
    }
    explicit SqlError(Message message) : SqlError(std::vector<Message>{std::move(message)}) {}

    const std::vector<Message>& messages() const { return messages_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    std::vector<Message> messages_;
    QByteArray what_;
};

// Raised when the client's attention arrives while a statement runs; the batch stops there.
class StatementCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "statement cancelled"; }
};

} // namespace sqlsim
