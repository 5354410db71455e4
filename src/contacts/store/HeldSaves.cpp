#include "HeldSaves.h"

#include <algorithm>

HeldSaves::Entry* HeldSaves::find(quint64 serial)
{
    const auto found = std::find_if(m_held.begin(), m_held.end(), [serial](const Entry& e) {
        return e.record.serial() == serial;
    });
    return found == m_held.end() ? nullptr : &*found;
}

bool HeldSaves::holds(const CCall& call) const
{
    return std::any_of(m_held.begin(), m_held.end(),
                       [&](const Entry& e) { return e.record.serial() == call.serial(); });
}

std::optional<HeldSaves::Entry> HeldSaves::hold(CCall& call, const QDateTime& at)
{
    const bool ended = !call.IsConnected() && call.Answered();
    if (Entry* kept = find(call.serial())) {
        kept->record = call;
        if (auto live = call.weak_from_this(); !live.expired())
            kept->live = std::move(live);
        if (ended && !kept->endedAt.isValid())
            kept->endedAt = at;
        return std::nullopt;
    }
    m_held.push_back({call, at, ended ? at : QDateTime(), call.weak_from_this()});
    if (int(m_held.size()) <= m_limit)
        return std::nullopt;
    Entry dropped = std::move(m_held.front());
    m_held.pop_front();
    return dropped;
}

void HeldSaves::oldestDone(const CCall* written)
{
    if (written) {
        if (const auto live = m_held.front().live.lock();
            live && live->serial() == written->serial())
            giveRow(*live, *written);
        m_written.push_back(*written);
        if (int(m_written.size()) > m_limit)
            m_written.pop_front();
    }
    m_held.pop_front();
}

std::deque<HeldSaves::Entry> HeldSaves::takeAll()
{
    std::deque<Entry> all;
    all.swap(m_held);
    return all;
}

void HeldSaves::pickUp(CCall& call)
{
    const auto found = std::find_if(m_written.begin(), m_written.end(),
                                    [&](const CCall& c) { return c.serial() == call.serial(); });
    if (found == m_written.end())
        return;
    giveRow(call, *found);
    m_written.erase(found);
}

void HeldSaves::giveRow(CCall& call, const CCall& written)
{
    call.DBCallID = written.DBCallID;
    call.DBGeneration = written.DBGeneration;
    call.CallStart = written.CallStart;
    if (written.CallEnd.isValid())
        call.CallEnd = written.CallEnd;
    call.setSaved(true);
}
