#pragma once

#include "AddressBookContact.h"
#include "contacts/lookup/AddressBookSource.h"
#include "core/pipeline/CallSeams.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class BufferRebuild;
class Clock;
class ContactBuffer;
class MainForm;

// The user's vCard address books as the program's contact source: their
// availability, the number buffer and its daily rebuild, the lookup, contacts
// made for unknown numbers and the journal of calls.
class AddressBookService : public QObject, public AddressBook, public AddressBookSource
{
    Q_OBJECT
public:
    // Opens a file with the desktop's handler.
    using Opener = std::function<void(const QString& file)>;
    // Writes the journal entry of a call.
    using Journal = std::function<void(CCall& call)>;

    AddressBookService(MainForm& form, Clock& clock, QObject* parent = nullptr);
    ~AddressBookService() override;

    void setOpener(Opener opener) { m_open = std::move(opener); }
    void setJournal(Journal journal) { m_journal = std::move(journal); }
    // The buffer's file (tests and benchmarks use their own).
    void setBufferPath(const QString& path);

    // At start-up: the address book is used unless the user switched it off.
    // Returns whether it is available.
    bool start(bool ignored);
    bool available() const { return m_available; }

    // The folder the user chose (Outlook\ContactsStoreID), or the default root.
    QString contactsFolder() const;
    static QString defaultRoot();

    // The number of contacts in a folder's files (the settings dialog's test).
    int countContacts(const QString& folder) const;
    // The contact with that entry id, or an invalid one.
    AddressBookContact contactById(const QString& entryId);
    // A picture file of the contact, or empty.
    QString contactPicture(const QString& entryId);
    QString pictureOf(const AddressBookContact& contact);
    // Opens the contact's file with the desktop's handler.
    bool openContact(const QString& entryId);
    // A new card in the contacts folder with the name as family name and the
    // number as home number, opened for editing. False (logged) when none
    // could be written.
    bool createAndOpenContact(const QString& name, const QString& number);
    // Writes a new card in the chosen folder: the name as its family name,
    // the number as its home number ("(unknown)" when there is none).
    // Invalid, with *error set, when it could not be written.
    AddressBookContact makeContact(const QString& name, const QString& number, QString* error);

    // Buffer timer (tmrBufferOutlookContacts): first tick after 100 ms, then
    // every 30 s; rebuilds when the buffer is older than 23 hours.
    void restartBufferTimer();
    bool bufferTimerActive() const { return m_tmrBuffer.isActive(); }
    int bufferTimerInterval() const { return m_tmrBuffer.interval(); }
    bool rebuilding() const;

    // AddressBook
    void unknownCaller(CCall& call) override;
    void unknownCallee(CCall& call) override;
    void journalCall(CCall& call) override;
    void monitoringStarted() override;

    // AddressBookSource
    Outcome findContact(const QString& digits, QString& number, QString& guid, QString& name,
                        QString& picture, QString& extra, QVariant& contact) override;

    // FindOutlookContact: the first contact in the folder with a number that
    // matches (each "%" stands for any run of characters); number becomes the
    // stored text.
    AddressBookContact findInFolder(const QString& folder, QString& number) const;

signals:
    void bufferRebuilt(int rows);

private:
    void onBufferTick();
    void rebuildBuffer();
    void createContact(CCall& call, bool incoming);
    bool buffered() const;
    QString setting(const char* name, const char* fallback) const;
    void log(const QString& text) const;

    MainForm& m_form;
    Clock& m_clock;
    Opener m_open;
    Journal m_journal;
    std::unique_ptr<ContactBuffer> m_buffer;
    std::unique_ptr<BufferRebuild> m_rebuild;
    QTimer m_tmrBuffer;
    QDateTime m_lastRebuild;
    bool m_available = false;
};
