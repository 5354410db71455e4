#pragma once

#include "AmiMessage.h"
#include "BoundedLineSplitter.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

// Frames the manager interface's byte stream: the server greets with one line
// ("Asterisk Call Manager/x.y"), then sends messages of "Key: Value" lines
// ending in CR LF, each closed by an empty line. A line beyond kMaxLineLength
// or a message beyond kMaxMessageSize is dropped whole, so memory stays
// bounded whatever the peer sends.
class AmiMessageParser
{
public:
    static constexpr qsizetype kMaxLineLength = 64 * 1024;
    static constexpr qsizetype kMaxMessageSize = 256 * 1024;

    struct Output
    {
        QString banner; // the greeting, when this chunk held it
        QList<AmiMessage> messages;
        QStringList problems; // what was skipped, e.g. "a line without a key: ..."
    };

    Output feed(QByteArrayView bytes);
    void reset();
    qsizetype pendingBytes() const { return m_lines.pendingBytes() + m_messageSize; }

private:
    void takeLine(QByteArrayView line, Output& out);
    void dropMessage();

    BoundedLineSplitter m_lines{kMaxLineLength};
    AmiMessage m_message; // the unfinished message
    qsizetype m_messageSize = 0;
    bool m_discardingMessage = false;
    bool m_greeted = false;
};
