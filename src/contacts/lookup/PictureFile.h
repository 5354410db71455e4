#pragma once

#include <QString>

class QVariant;

// A new, empty file in the user's temporary folder whose name starts with the
// program's name and ends with the given extension (with or without its dot);
// empty when none could be made.
QString GetTempFile(const QString& extension);

// Writes a binary column's value into fileName, replacing the file; true when
// at least one byte was written. A null or empty value writes nothing.
bool SaveFieldToFile(const QVariant& field, const QString& fileName);
