#include "CallTable.h"

#include <QDir>

#include <algorithm>

std::unique_ptr<QTemporaryFile> CallTable::writePicture(const QByteArray& bytes,
                                                        const QString& extension)
{
    // The extension comes from the server: only a short word of letters and digits.
    QString ext;
    for (const QChar c : extension.left(8))
        if (c.isLetterOrNumber() && c.unicode() < 128)
            ext += c.toLower();
    auto file = std::make_unique<QTemporaryFile>(
        QDir::temp().filePath(QStringLiteral("phonavo-picture-XXXXXX") +
                              (ext.isEmpty() ? QString() : QLatin1Char('.') + ext)));
    if (!file->open() || file->write(bytes) != bytes.size() || !file->flush())
        return nullptr;
    file->close();
    return file;
}

qint32 CallTable::add(Call call)
{
    remove(call.serverId);
    qint32 evicted = 0;
    if (m_calls.size() >= kMaxCalls) {
        evicted = m_calls.first()->hostId;
        m_calls.removeFirst();
    }
    m_calls.append(std::make_shared<Call>(std::move(call)));
    return evicted;
}

QList<qint32> CallTable::hostIds() const
{
    QList<qint32> ids;
    for (const auto& call : m_calls)
        if (call->hostId != 0)
            ids << call->hostId;
    return ids;
}

const CallTable::Call* CallTable::byServerId(const QString& serverId) const
{
    const auto it = std::find_if(m_calls.cbegin(), m_calls.cend(),
                                 [&serverId](const auto& c) { return c->serverId == serverId; });
    return it == m_calls.cend() ? nullptr : it->get();
}

const CallTable::Call* CallTable::byHostId(qint32 hostId) const
{
    if (hostId == 0)
        return nullptr;
    const auto it = std::find_if(m_calls.cbegin(), m_calls.cend(),
                                 [hostId](const auto& c) { return c->hostId == hostId; });
    return it == m_calls.cend() ? nullptr : it->get();
}

void CallTable::remove(const QString& serverId)
{
    m_calls.removeIf([&serverId](const auto& c) { return c->serverId == serverId; });
}

void CallTable::clear()
{
    m_calls.clear();
    m_unknown.clear();
}

bool CallTable::firstUnknown(const QString& serverId)
{
    if (m_unknown.contains(serverId))
        return false;
    if (m_unknown.size() >= kMaxRememberedUnknown)
        m_unknown.clear();
    m_unknown.insert(serverId);
    return true;
}
