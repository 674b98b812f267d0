#pragma once

#include <QString>

#include <stdexcept>

// A component failure with its message and error number; each component derives its own class.
class ECodedException : public std::runtime_error
{
public:
    ECodedException(const QString &message, int errorCode)
        : std::runtime_error(message.toStdString()), FErrorCode(errorCode)
    {
    }
    QString Message() const { return QString::fromStdString(what()); }
    int ErrorCode() const { return FErrorCode; }

private:
    int FErrorCode;
};
