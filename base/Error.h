#pragma once

#include <QString>
#include <stdexcept>

// A failure of an operation, carrying the text the operator sees. Operations that expect
// a failure catch it and log it; everything else reaches the guard of the tick or command.
class TError : public std::runtime_error {
public:
    explicit TError(const QString& text)
        : std::runtime_error(text.toStdString()), FText(text) {}
    const QString& Text() const noexcept { return FText; }

private:
    QString FText;
};

// The text of any exception, for a log line or an error box.
QString ErrorText(const std::exception& error);
