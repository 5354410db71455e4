#pragma once

#include <QList>
#include <QString>

#include <utility>

// One message of the Asterisk Manager Interface: its "Key: Value" lines in
// the order received. Keys may repeat (Variable: ...); lookups ignore case,
// as the server's own do.
struct AmiMessage
{
    QList<std::pair<QString, QString>> fields;

    // The first value of a key; empty when absent.
    QString value(QStringView key) const
    {
        for (const auto& [k, v] : fields)
            if (k.compare(key, Qt::CaseInsensitive) == 0)
                return v;
        return QString();
    }
    bool has(QStringView key) const
    {
        for (const auto& field : fields)
            if (field.first.compare(key, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }
};
