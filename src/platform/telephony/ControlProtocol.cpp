#include "ControlProtocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace ControlProtocol {

QByteArray encodeRequest(const QStringList& args)
{
    return QJsonDocument(QJsonArray::fromStringList(args)).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<QStringList> decodeRequest(const QByteArray& line, QString* error)
{
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(line.trimmed(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isArray()) {
        if (error)
            *error = QStringLiteral("request is not a JSON array of strings");
        return std::nullopt;
    }
    QStringList args;
    for (const QJsonValue& v : doc.array()) {
        if (!v.isString()) {
            if (error)
                *error = QStringLiteral("request is not a JSON array of strings");
            return std::nullopt;
        }
        args << v.toString();
    }
    if (args.isEmpty()) {
        if (error)
            *error = QStringLiteral("empty request");
        return std::nullopt;
    }
    return args;
}

QByteArray encodeReply(const Reply& reply)
{
    QJsonObject o;
    o.insert(QStringLiteral("ok"), reply.ok);
    if (reply.ok)
        o.insert(QStringLiteral("output"), reply.output);
    else
        o.insert(QStringLiteral("error"), reply.error);
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<Reply> decodeReply(const QByteArray& line, QString* error)
{
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(line.trimmed(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error)
            *error = QStringLiteral("malformed reply from the program");
        return std::nullopt;
    }
    const QJsonObject o = doc.object();
    Reply r;
    r.ok = o.value(QStringLiteral("ok")).toBool();
    r.output = o.value(QStringLiteral("output")).toString();
    r.error = o.value(QStringLiteral("error")).toString();
    return r;
}

} // namespace ControlProtocol
