#pragma once

#include <QByteArray>
#include <QStringList>

#include <optional>

// The control channel of a running Phonavo speaks one JSON document per line:
// the request is an array of strings (the command and its arguments), the reply
// an object {"ok": true, "output": "..."} or {"ok": false, "error": "..."}.
// The server answers one request per connection and then closes it.
namespace ControlProtocol {

constexpr qsizetype kMaxLineLength = 64 * 1024;

struct Reply
{
    bool ok = false;
    QString output; // lines separated by '\n', no trailing newline
    QString error;

    static Reply success(QString output = QString()) { return {true, std::move(output), {}}; }
    static Reply failure(QString error) { return {false, {}, std::move(error)}; }
};

QByteArray encodeRequest(const QStringList& args);
std::optional<QStringList> decodeRequest(const QByteArray& line, QString* error);
QByteArray encodeReply(const Reply& reply);
std::optional<Reply> decodeReply(const QByteArray& line, QString* error);

} // namespace ControlProtocol
