#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QTemporaryFile>

#include <memory>

// The server's calls that the host took: the server's call id, the id the
// host gave the call, and the call's picture file, which lives as long as the
// call. Bounded: a server that never ends its calls cannot grow it.
class CallTable
{
public:
    static constexpr qsizetype kMaxCalls = 64;
    static constexpr qsizetype kMaxRememberedUnknown = 256;

    struct Call
    {
        QString serverId;
        qint32 hostId = 0; // 0: the host did not take it
        QString callerExtra;
        std::unique_ptr<QTemporaryFile> picture;
    };

    // A private file holding the picture of a call about to be announced;
    // nullptr when it cannot be written.
    static std::unique_ptr<QTemporaryFile> writePicture(const QByteArray& bytes,
                                                        const QString& extension);

    // The oldest call goes when the table is full: its host id is returned
    // (0 when none went), so the host can end it.
    qint32 add(Call call);
    // The host ids of every call held, oldest first.
    QList<qint32> hostIds() const;
    const Call* byServerId(const QString& serverId) const;
    const Call* byHostId(qint32 hostId) const;
    // Forgets a call and removes its picture file.
    void remove(const QString& serverId);
    void clear();
    qsizetype size() const { return m_calls.size(); }

    // True the first time an id that is not in the table is reported; the
    // caller logs it once.
    bool firstUnknown(const QString& serverId);

private:
    QList<std::shared_ptr<Call>> m_calls; // oldest first
    QSet<QString> m_unknown;
};
