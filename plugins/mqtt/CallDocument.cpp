#include "CallDocument.h"

#include "PhonavoPlugin.h"

#include <QJsonDocument>
#include <QJsonObject>

QByteArray CallDocument::build(const QString& event, const phonavo::CallInfo& call,
                               const QDateTime& when)
{
    const QJsonObject doc{
        {QStringLiteral("event"), event},
        {QStringLiteral("callId"), call.callId},
        {QStringLiteral("dbCallId"), call.dbCallId},
        {QStringLiteral("direction"),
         call.outgoing ? QStringLiteral("outgoing") : QStringLiteral("incoming")},
        {QStringLiteral("device"), call.deviceName},
        {QStringLiteral("callerId"), call.callerId},
        {QStringLiteral("callerName"), call.callerName},
        {QStringLiteral("callerExtra"), call.callerExtra},
        {QStringLiteral("calledId"), call.calledId},
        {QStringLiteral("calledName"), call.calledName},
        {QStringLiteral("time"), when.toUTC().toString(Qt::ISODate)},
    };
    return QJsonDocument(doc).toJson(QJsonDocument::Compact);
}
