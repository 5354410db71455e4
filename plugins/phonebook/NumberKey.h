#pragma once

#include <QString>

// The form under which phone book numbers are indexed and callers are looked
// up, so that differently written numbers of one line meet: only the digits
// count, and for the home country (countryCode) "+CC", "00CC" and the trunk
// "0" of the national form are dropped, so "+49 30 1234", "0049 (0)30 1234"
// and "030/1234" all become "301234". Numbers of other countries keep their
// code behind a "+" ("0033 1 23" and "+33 1 23" become "+33123"). Empty when
// the number holds no digit.
QString numberKey(const QString& number, int countryCode);
