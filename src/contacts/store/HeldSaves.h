#pragma once

#include "core/calls/CCall.h"

#include <QDateTime>

#include <deque>
#include <memory>
#include <optional>

// Saves the call database did not take, oldest first, at most one per call: a
// later save of the same call replaces the kept record but keeps when its row
// was first due and when the call ended, so the row says what it would have
// said. Once written, the live record learns its row at once; a copy that
// saves later picks it up here.
class HeldSaves
{
public:
    struct Entry
    {
        CCall record;              // the latest state of the call
        QDateTime firstDue;        // the first kept save: the new row's CallDate
        QDateTime endedAt;         // the first kept save of the ended answered call
        std::weak_ptr<CCall> live; // the record the program goes on with, while it lives
    };

    explicit HeldSaves(int limit) : m_limit(limit) {}

    void setLimit(int limit) { m_limit = qMax(1, limit); }
    int limit() const { return m_limit; }
    bool isEmpty() const { return m_held.empty(); }
    int size() const { return int(m_held.size()); }
    bool holds(const CCall& call) const;

    // Keeps this save. When the limit is reached, the oldest entry makes room
    // and is returned.
    std::optional<Entry> hold(CCall& call, const QDateTime& at);

    Entry& oldest() { return m_held.front(); }
    // The oldest entry is in the database now (its record tells the row), or
    // will never be (row is null).
    void oldestDone(const CCall* written);
    // Everything still kept, oldest first; the queue is empty afterwards.
    std::deque<Entry> takeAll();

    // Gives a record whose kept save was written the row it got.
    void pickUp(CCall& call);

private:
    Entry* find(quint64 serial);
    static void giveRow(CCall& call, const CCall& written);

    int m_limit;
    std::deque<Entry> m_held;
    std::deque<CCall> m_written; // bounded like m_held: records that never save again
};
