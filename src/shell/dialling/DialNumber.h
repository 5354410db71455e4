#pragma once

#include <QString>

// What a telephone keypad can dial: the digits, "*" and "#" in their places;
// a leading "+" stays. Everything else (blanks, brackets, dashes, letters) goes.
QString pureTelNumber2(const QString& text);

// The number the dial dialog opens with: the given number's digits (with its
// leading "+"), or, when it has none, the number dialled last.
QString initialDialNumber(const QString& given, const QString& lastCalled);

// Whether a text holds letters, which dialling would silently drop.
bool containsLetters(const QString& text);
