#include "shell/settings/RegValue.h"

#include <QtEndian>

RegValue RegValue::fromString(const QString& text, quint32 type)
{
    QByteArray bytes = utf16le(text);
    bytes.append(2, '\0');
    return RegValue{type, bytes};
}

RegValue RegValue::fromDWord(quint32 number)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(number, bytes.data());
    return RegValue{DWord, bytes};
}

RegValue RegValue::fromBinary(const QByteArray& bytes)
{
    return RegValue{Binary, bytes};
}

QString RegValue::text() const
{
    return fromUtf16le(data, true);
}

std::optional<quint32> RegValue::toDWord() const
{
    if (data.size() != 4)
        return std::nullopt;
    return qFromLittleEndian<quint32>(data.constData());
}

QByteArray RegValue::utf16le(QStringView text)
{
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    char* out = bytes.data();
    for (QChar c : text) {
        qToLittleEndian(c.unicode(), out);
        out += 2;
    }
    return bytes;
}

QString RegValue::fromUtf16le(const QByteArray& bytes, bool stopAtNul)
{
    const qsizetype units = bytes.size() / 2;
    QString text;
    text.reserve(units);
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t unit = qFromLittleEndian<quint16>(bytes.constData() + 2 * i);
        if (unit == 0 && stopAtNul)
            break;
        text.append(QChar(unit));
    }
    return text;
}
