#include "AmiMessageParser.h"

AmiMessageParser::Output AmiMessageParser::feed(QByteArrayView bytes)
{
    Output out;
    m_lines.feed(
        bytes, [&](QByteArrayView line) { takeLine(line, out); },
        [&](bool) {
            out.problems << QStringLiteral("a line longer than %1 bytes, with its message")
                                .arg(kMaxLineLength);
            // The message lost a line; the rest of it must not pass as whole.
            dropMessage();
            m_discardingMessage = true;
        });
    return out;
}

void AmiMessageParser::reset()
{
    m_lines.reset();
    dropMessage();
    m_discardingMessage = false;
    m_greeted = false;
}

void AmiMessageParser::dropMessage()
{
    m_message = AmiMessage();
    m_messageSize = 0;
}

void AmiMessageParser::takeLine(QByteArrayView line, Output& out)
{
    if (line.endsWith('\r'))
        line.chop(1);
    if (!m_greeted) {
        m_greeted = true;
        // The greeting is a line of its own, not a "Key: Value" pair.
        if (line.startsWith("Asterisk Call Manager") || !line.contains(": ")) {
            out.banner = QString::fromUtf8(line).trimmed();
            return;
        }
    }
    if (line.trimmed().isEmpty()) {
        if (!m_discardingMessage && !m_message.fields.isEmpty())
            out.messages.append(std::move(m_message));
        dropMessage();
        m_discardingMessage = false;
        return;
    }
    if (m_discardingMessage)
        return;
    if (m_messageSize + line.size() > kMaxMessageSize) {
        out.problems << QStringLiteral("a message larger than %1 bytes").arg(kMaxMessageSize);
        dropMessage();
        m_discardingMessage = true;
        return;
    }
    const qsizetype colon = line.indexOf(':');
    const QString key = colon > 0 ? QString::fromUtf8(line.first(colon)).trimmed() : QString();
    if (key.isEmpty()) {
        constexpr qsizetype kShown = 60;
        QString shown = QString::fromUtf8(line.first(std::min(line.size(), kShown)));
        for (QChar& c : shown)
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                c = u'?';
        out.problems << QStringLiteral("a line without a key: %1").arg(shown);
        return;
    }
    m_messageSize += line.size();
    m_message.fields.append({key, QString::fromUtf8(line.sliced(colon + 1)).trimmed()});
}
