#pragma once

#include <QList>
#include <QString>

// Finds the texts the program shows: the string literals handed to GetS and
// getTranslation (first argument) and to the Warnings calls askQuestion and
// showNotice (second argument, the prompt), so that the shipped language
// source can be checked for completeness. Adjacent literals are joined as the
// compiler joins them; both branches of a "?:" count; literals inside other
// calls than QStringLiteral/QLatin1String/QString do not. A text that reaches
// GetS only through a variable cannot be seen here and is added by hand.
namespace SourceTexts {

struct Text
{
    QString text;
    QString file;
    int line = 0;
};

QList<Text> harvest(const QString& source, const QString& fileName = QString());
// Every .cpp and .h file below `dir`, in sorted path order.
QList<Text> harvestTree(const QString& dir);

} // namespace SourceTexts
