#include "ICalJournal.h"

#include <libical/ical.h>

#include <cstdlib>
#include <memory>

namespace {

struct ComponentFree
{
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

icaltimetype utcTime(const QDateTime& time)
{
    return icaltime_from_timet_with_zone(static_cast<time_t>(time.toSecsSinceEpoch()), 0,
                                         icaltimezone_get_utc_timezone());
}

QByteArray utf8(const QString& text)
{
    return text.toUtf8();
}

void removeAll(icalcomponent* component, icalproperty_kind kind)
{
    while (icalproperty* p = icalcomponent_get_first_property(component, kind)) {
        icalcomponent_remove_property(component, p);
        icalproperty_free(p);
    }
}

void removeX(icalcomponent* component, const char* name)
{
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_X_PROPERTY); p;) {
        icalproperty* next = icalcomponent_get_next_property(component, ICAL_X_PROPERTY);
        if (qstricmp(icalproperty_get_x_name(p), name) == 0) {
            icalcomponent_remove_property(component, p);
            icalproperty_free(p);
        }
        p = next;
    }
}

void addX(icalcomponent* component, const char* name, const QString& value)
{
    icalproperty* p = icalproperty_new_x(utf8(value).constData());
    icalproperty_set_x_name(p, name);
    icalcomponent_add_property(component, p);
}

// Replaces the properties the program owns; the UID stays as it is.
void fill(icalcomponent* journal, const JournalEntry& entry, const QDateTime& stamp)
{
    for (icalproperty_kind kind :
         {ICAL_DTSTAMP_PROPERTY, ICAL_LASTMODIFIED_PROPERTY, ICAL_DTSTART_PROPERTY,
          ICAL_SUMMARY_PROPERTY, ICAL_DESCRIPTION_PROPERTY, ICAL_CONTACT_PROPERTY})
        removeAll(journal, kind);
    removeX(journal, ICalJournal::kDurationProperty);
    removeX(journal, ICalJournal::kContactUidProperty);

    icalcomponent_add_property(journal, icalproperty_new_dtstamp(utcTime(stamp)));
    icalcomponent_add_property(journal, icalproperty_new_lastmodified(utcTime(stamp)));
    icalcomponent_add_property(journal, icalproperty_new_dtstart(utcTime(entry.start)));
    icalcomponent_add_property(journal, icalproperty_new_summary(utf8(entry.summary).constData()));
    icalcomponent_add_property(
        journal, icalproperty_new_description(
                     utf8(ICalJournal::plainLineBreaks(entry.description)).constData()));
    if (entry.durationSeconds)
        addX(journal, ICalJournal::kDurationProperty, QString::number(*entry.durationSeconds));
    if (!entry.contactName.isEmpty() || !entry.contactUri.isEmpty()) {
        icalproperty* contact = icalproperty_new_contact(utf8(entry.contactName).constData());
        if (!entry.contactUri.isEmpty())
            icalproperty_add_parameter(
                contact, icalparameter_new_altrep(utf8(entry.contactUri).constData()));
        icalcomponent_add_property(journal, contact);
    }
    if (!entry.contactUid.isEmpty())
        addX(journal, ICalJournal::kContactUidProperty, entry.contactUid);
}

QByteArray text(icalcomponent* calendar)
{
    char* raw = icalcomponent_as_ical_string_r(calendar);
    QByteArray result(raw);
    std::free(raw);
    return result;
}

} // namespace

namespace ICalJournal {

QByteArray create(const JournalEntry& entry, const QDateTime& stamp)
{
    Component calendar(icalcomponent_new_vcalendar());
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(),
                               icalproperty_new_prodid("-//Phonavo//Call journal//EN"));
    icalcomponent* journal = icalcomponent_new_vjournal();
    icalcomponent_add_property(journal, icalproperty_new_uid(utf8(entry.uid).constData()));
    icalcomponent_add_property(journal, icalproperty_new_status(ICAL_STATUS_FINAL));
    fill(journal, entry, stamp);
    icalcomponent_add_component(calendar.get(), journal);
    return text(calendar.get());
}

std::optional<QByteArray> update(const QByteArray& existing, const JournalEntry& entry,
                                 const QDateTime& stamp, QString* error)
{
    Component calendar(icalparser_parse_string(existing.constData()));
    if (!calendar || icalcomponent_isa(calendar.get()) != ICAL_VCALENDAR_COMPONENT) {
        *error = QStringLiteral("it is no iCalendar object");
        return std::nullopt;
    }
    icalcomponent* journal =
        icalcomponent_get_first_component(calendar.get(), ICAL_VJOURNAL_COMPONENT);
    if (!journal) {
        *error = QStringLiteral("it holds no journal entry");
        return std::nullopt;
    }
    // Lines libical could not read were dropped and marked; the marks are
    // not worth keeping in the file.
    icalcomponent_strip_errors(calendar.get());
    fill(journal, entry, stamp);
    return text(calendar.get());
}

QString plainLineBreaks(const QString& text)
{
    QString result = text;
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}

} // namespace ICalJournal
