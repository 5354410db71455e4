#pragma once

#include <QString>

// Cuts the prefixes of a rule ("0;00") off the front of a number, each part of
// the rule once and in order.
QString CutNumber(const QString& number, const QString& rule);

// A number rewritten by one pair of device rules: prepend text + cut number.
inline QString RewriteNumber(const QString& number, const QString& cutRule, const QString& prepend)
{
    return prepend + CutNumber(number, cutRule);
}

// The digits of a number; a leading "+" is kept.
QString DigitsOnly(const QString& number);
