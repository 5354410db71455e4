#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace phonavo {
struct CallInfo;
}

// The small JSON document published for one call event, for example
// {"event":"incoming","callId":7,...,"time":"2024-05-01T12:00:00Z"}.
// The event name is also the last part of its topic (<prefix>/call/<event>).
namespace CallDocument {

QByteArray build(const QString& event, const phonavo::CallInfo& call, const QDateTime& when);

} // namespace CallDocument
