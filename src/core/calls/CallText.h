#pragma once

#include <QString>

// Texts of a call that come from outside the program (line sources, plug-ins,
// other programs): control characters are dropped and absurdly long texts
// cut, so the log, the store and the clients stay sane. `cut` tells whether
// the text was longer than maxLength.
inline QString cleanCallText(const QString& text, qsizetype maxLength, bool* cut = nullptr)
{
    QString clean;
    clean.reserve(qMin(text.size(), maxLength));
    for (const QChar c : text)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7f)
            clean.append(c);
    const bool tooLong = clean.size() > maxLength;
    if (tooLong)
        clean.truncate(maxLength);
    if (cut)
        *cut = tooLong;
    return clean;
}
