#pragma once

#include "PhonebookEntry.h"

#include <QByteArray>
#include <QList>

// Reads the contacts of a vCard file (versions 2.1, 3.0 and 4.0): the name
// from FN (or N), every TEL, ORG as the extra text and a PHOTO given as a
// file URI. Folded lines are joined; values of 2.1 may be QUOTED-PRINTABLE
// and name their CHARSET; everything else is UTF-8. Contacts without a
// number are left out; other properties are skipped.
class VCardReader
{
public:
    static QList<PhonebookEntry> read(const QByteArray& data);

    // The content lines of data with folded lines joined.
    static QList<QByteArray> unfold(const QByteArray& data);
    static QByteArray decodeQuotedPrintable(const QByteArray& encoded);
};
