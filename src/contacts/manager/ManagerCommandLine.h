#pragma once

#include <QString>
#include <QStringList>

class LocGuru;

// What phonavo-contacts was asked to do. The callers write Windows-style
// arguments: /command=new /number="<number>" /name="<name>" /extra="<extra>"
// and /command=open /guid=<key>. They may arrive split by a shell (quotes
// gone, a name in one argument), split at every blank (quotes still there,
// a name over several arguments) or as one argument; all read the same.
struct ManagerCommandLine
{
    enum class Action
    {
        List, // no command: the list of contacts
        New,  // a new contact, shown for editing
        Open, // the contact with `guid`
        Help
    };

    Action action = Action::List;
    QString number;
    QString name;
    QString extra;
    QString guid;
    // Arguments that were not understood and are ignored, as messages.
    QStringList warnings;

    static ManagerCommandLine parse(const QStringList& arguments, const LocGuru* loc = nullptr);
    static QString usage(const LocGuru* loc = nullptr);
};

// A caller's name as first and last name: "Last, First" at its comma,
// otherwise split at the last blank; a single word is the last name.
struct SplitName
{
    QString first;
    QString last;
};
SplitName splitPersonName(const QString& name);
