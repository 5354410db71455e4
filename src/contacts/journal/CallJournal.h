#pragma once

#include <QString>

#include <functional>

class CCall;
class MainForm;
class ShellOpener;
struct JournalEntry;

// The call journal: one iCalendar journal entry per call, each in its own
// .ics file (UID + ".ics") of a calendar folder that calendar programs and
// vdirsyncer read. A second entry for the same record (the call started, then
// ended) rewrites the file the record remembers in OutlookJournalEntry.
class CallJournal
{
public:
    // Shows an entry's file to the user.
    using OpenEntry = std::function<void(const QString& file)>;

    CallJournal(MainForm& form, OpenEntry open);

    // AddJournalEntry for a loaded call record whose address book is
    // available. Does nothing unless Outlook\AddToJournal is on. A folder or
    // file that cannot be written is logged; the call goes on either way.
    // True when the entry was written.
    bool AddJournalEntry(CCall& call);

    // Outlook\JournalFolder, or the default folder when that is empty.
    QString folder() const;
    static QString folder(const QString& setting);

    // Opens entries with the desktop's application for calendar files.
    static OpenEntry withShell(ShellOpener& opener);

private:
    JournalEntry entryFor(const CCall& call) const;
    bool write(const QString& path, const QByteArray& content, const QString& callId);

    MainForm& m_form;
    OpenEntry m_open;
};
