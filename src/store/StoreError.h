#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <string>

namespace store {

// The one error type the record store raises. Its text is meant for the user, in German, and already
// carries the record set's name ("UserList: ...") when a record set raised it.
class StoreError : public std::exception
{
public:
    explicit StoreError(QString message) : m_message(std::move(message)), m_utf8(m_message.toStdString()) {}

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.c_str(); }

private:
    QString m_message;
    std::string m_utf8;
};

// Raised by an event handler (BeforePost) to stop an operation without a message. Whoever catches it at
// the user-interface boundary shows nothing.
class Abort : public std::exception
{
public:
    const char *what() const noexcept override { return "Abort"; }
};

// A name or value set in German quotation marks for a message.
inline QString quoted(const QString &text)
{
    return QChar(0x201E) + text + QChar(0x201C);
}

// Errors that no code handles end up here. Until the user interface installs its own handler (a message
// box), they are written to stderr.
void setErrorReporter(std::function<void(const std::exception &)> reporter);
void reportError(const std::exception &error);

} // namespace store
