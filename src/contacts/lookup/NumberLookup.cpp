#include "NumberLookup.h"

#include "core/controller/MainForm.h"

NumberLookup::NumberLookup(MainForm& form, ReverseQuery reverse)
    : m_form(form), m_reverse(std::move(reverse))
{}

bool NumberLookup::LookupNumber(QString& number, QString& guid, QString& name, QString& picture,
                                QString& extra, QVariant& contact)
{
    Q_UNUSED(guid)
    Q_UNUSED(contact)
    if (!m_reverse || !m_form.options().flag(QStringLiteral("cbReverseLookup")))
        return false;
    if (!m_reverse(number, name, picture, extra))
        return false;
    if (name.isEmpty() && extra.isEmpty() && picture.isEmpty())
        return false;
    m_form.LogStr(m_form.GetS(QStringLiteral("Found contact by reverse lookup for %s: %s"), number,
                              QString(name + QLatin1Char(' ') + extra).trimmed()));
    return true;
}
