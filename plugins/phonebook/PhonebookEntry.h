#pragma once

#include <QString>
#include <QStringList>

// One contact of a phone book file: what a reverse lookup hands back for each
// of its numbers.
struct PhonebookEntry
{
    QString name;
    QString extra;
    QString imageFile; // a local file, empty when there is none
    QStringList numbers;
};
