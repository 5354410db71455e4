#pragma once

#include <QString>

class LocGuru;

// A party as every call log line shows it: "Name (number)", the number alone,
// the name alone, or "(unknown)".
QString FormatPartyName(const LocGuru& loc, const QString& number, const QString& name);
