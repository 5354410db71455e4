#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Which channels the PBX has joined in which bridge, as its BridgeEnter and
// BridgeLeave events tell: channels in one bridge talk to each other. Bounded,
// so a server that never reports channels leaving cannot make it grow
// without end.
class AmiBridgeTable
{
public:
    static constexpr int kMaxChannels = 1024;

    // Puts the channel into the bridge (out of any other it was in). A
    // channel that enters in place of another (swapUniqueId names it) sends
    // that one out at once; swappedOut receives its name. False when full.
    bool enter(const QString& bridge, const QString& channel, const QString& uniqueId,
               const QString& swapUniqueId, QString* swappedOut);
    void leave(const QString& bridge, const QString& channel);
    // The channel is gone (hung up): out of whatever bridge it was in.
    void forget(const QString& channel);
    void clear();

    QString bridgeOf(const QString& channel) const { return m_bridgeOf.value(channel); }
    QStringList members(const QString& bridge) const;
    int channelCount() const { return int(m_bridgeOf.size()); }

private:
    struct Member
    {
        QString channel;
        QString uniqueId;
    };

    QHash<QString, QList<Member>> m_bridges; // by BridgeUniqueid
    QHash<QString, QString> m_bridgeOf;      // channel -> BridgeUniqueid
};
