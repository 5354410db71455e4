#pragma once

#include "PhonebookEntry.h"

#include <QList>

// Reads a phone book in CSV form (RFC 4180 quoting; ";", "," or tab as the
// separator, whichever the first line uses most). A first row naming the
// columns Name, Number and Extra (any order, any case) is a header; without
// one the first column is the number, the second the name and the third the
// extra text.
class CsvPhonebookReader
{
public:
    struct Result
    {
        QList<PhonebookEntry> entries;
        // A log text in English, "%s" standing for the file; empty when the text was read.
        QString error;
    };

    static Result read(const QString& text);

    // The rows of text split at separator, quotes removed.
    static QList<QStringList> rows(const QString& text, QChar separator);
    static QChar guessSeparator(const QString& text);
};
