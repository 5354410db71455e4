#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// One registry value in the registry's own binary form (strings as UTF-16LE
// with their NUL), so that types and bytes the program never writes itself
// survive a load and save unchanged.
struct RegValue
{
    // Type numbers as the registry and the hex(N) notation of .reg files use them.
    enum Type : quint32
    {
        None = 0,
        String = 1,
        ExpandString = 2,
        Binary = 3,
        DWord = 4,
        DWordBigEndian = 5,
        Link = 6,
        MultiString = 7,
        QWord = 11,
    };

    quint32 type = None;
    QByteArray data;

    // REG_SZ (or another string type) holding text plus one terminating NUL.
    static RegValue fromString(const QString& text, quint32 type = String);
    static RegValue fromDWord(quint32 number);
    static RegValue fromBinary(const QByteArray& bytes);

    // The text of UTF-16LE string data up to its first NUL (a dangling odd byte
    // is ignored).
    QString text() const;
    // The number of REG_DWORD data; nothing when the data is not 4 bytes.
    std::optional<quint32> toDWord() const;

    static QByteArray utf16le(QStringView text);
    static QString fromUtf16le(const QByteArray& bytes, bool stopAtNul);

    bool operator==(const RegValue&) const = default;
};
