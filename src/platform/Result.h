#pragma once

#include <QString>

#include <optional>
#include <utility>

// A value or the text of what went wrong; used where a failure has to be told
// to a user or a script rather than just logged.
template <typename T> class Result
{
public:
    static Result ok(T value) { return Result(std::move(value), QString()); }
    static Result fail(QString error) { return Result(std::nullopt, std::move(error)); }

    bool isOk() const { return m_value.has_value(); }
    explicit operator bool() const { return isOk(); }
    const T& value() const { return *m_value; }
    const QString& error() const { return m_error; }

private:
    Result(std::optional<T> value, QString error)
        : m_value(std::move(value)), m_error(std::move(error))
    {}
    std::optional<T> m_value;
    QString m_error;
};
