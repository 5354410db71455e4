#pragma once

#include "core/calls/CCall.h"

#include <QDateTime>
#include <QString>

class CallDatabase;
class MainForm;

// One stored call as the details window shows and edits it: the record is
// loaded from the call history, edits are made on it, and it is written back
// only when something changed.
class CallDetails
{
public:
    enum class Party
    {
        Caller,
        Called
    };

    CallDetails(MainForm& form, CallDatabase* database);

    // False when the call history has no such call (or none is open).
    bool load(qint32 dbCallId);
    qint32 dbCallId() const { return m_call.DBCallID; }

    QString directionText() const;
    QString dateText() const;
    QString durationText() const;
    QString deviceText() const { return m_device; }

    QString number(Party party) const;
    QString numberText(Party party) const; // "(unknown)" for an empty number
    QString name(Party party) const;
    QString nameText(Party party) const; // "(unknown)" when number and name are empty
    QString extra(Party party) const;
    QString guid(Party party) const;

    // The party looked up again in the contact source; false when not found
    // (the record is then unchanged). `picture` gets the found picture file.
    bool lookupAgain(Party party, QString* picture = nullptr);
    // False when the number is empty or the same as before.
    bool changeNumber(Party party, const QString& number);
    // A contact made for the party: its GUID links the call to it.
    void linkContact(Party party, const QString& guid);

    bool changed() const { return m_changed; }
    // btnOk: writes the record when something changed.
    bool save();

private:
    MainForm& m_form;
    CallDatabase* m_database;
    CCall m_call;
    QString m_device;
    bool m_changed = false;
};
