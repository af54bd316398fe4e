#pragma once

#include <QString>
#include <exception>

// The base of every exception Velmo raises on purpose. It carries the message
// that the default error box shows when the exception escapes an event handler.
class Exception : public std::exception {
public:
    explicit Exception(QString message) : Message(std::move(message)), Utf8(Message.toUtf8()) {}
    const char* what() const noexcept override { return Utf8.constData(); }

    QString Message;

private:
    QByteArray Utf8;
};

// Raised to stop an operation quietly; the error box never shows it.
class EAbort : public Exception {
public:
    using Exception::Exception;
};

// A picture that cannot be read: unknown format, broken data, no decoder.
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

// Raised when a file cannot be read or written.
class EInOutError : public Exception {
public:
    using Exception::Exception;
};
