#pragma once
// A text that should hold a number but does not. what() is the message in UTF-8.

#include <QString>

#include <stdexcept>

class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const QString& message) : std::runtime_error(message.toStdString()) {}
};
