#pragma once

#include "platform/Result.h"
#include "shell/settings/RegValue.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Reader and writer of the text format Windows regedit exports (.reg files).
// Settings hives and backups are kept in it so that they stay readable,
// editable and exchangeable with the original program's backups. No I/O here.
class RegFile
{
public:
    struct Value
    {
        QString name;         // empty for the default value ("@")
        bool deleted = false; // "Name"=-
        RegValue value;
        bool operator==(const Value&) const = default;
    };

    struct Section
    {
        QString path;         // full key path with its root, e.g. HKEY_CURRENT_USER\Software
        bool deleted = false; // [-path]
        QList<Value> values;
        int line = 0; // line of the key in the parsed text; 0 when built in memory
    };

    // Larger files are refused rather than read: no settings file comes near this.
    static constexpr qsizetype MaxFileSize = 16 * 1024 * 1024;
    // The registry's own limits; they also keep a hostile file from building
    // absurdly deep trees.
    static constexpr qsizetype MaxKeyNameLength = 255;
    static constexpr qsizetype MaxValueNameLength = 16383;
    static constexpr qsizetype MaxKeyDepth = 512;

    // Accepts UTF-16 with BOM (what regedit writes), UTF-8 with or without BOM,
    // and Windows-1252 when the bytes are not UTF-8. Any line that is not a
    // header, key, value, continuation, comment or blank fails with its number.
    static Result<QList<Section>> parse(const QByteArray& bytes);

    // UTF-8 without BOM, LF line ends, version 5 header. Strings containing
    // control characters are written as hex(1) so they survive a reload.
    // Keys and values whose names the format cannot hold are left out.
    static QByteArray write(const QList<Section>& sections);

    static bool isValidKeyName(QStringView name);
    static bool isValidValueName(QStringView name);
};
