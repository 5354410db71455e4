#pragma once

#include "history/CallDetails.h"
#include "history/PartyContacts.h"

#include <QDialog>

class Program;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

// frmCallDetails: one stored call with both parties. A party can be looked up
// again, get a corrected number, be dialled, and have its contact opened or
// created in the active contact source; OK writes the changes back.
class CallDetailsWindow : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char* kSettingsKey = "CallDetailsWin";

    CallDetailsWindow(Program& program, QWidget* parent = nullptr);
    ~CallDetailsWindow() override;

    // ShowWithCall: false (and a message) when the call cannot be read.
    bool ShowWithCall(qint32 dbCallId);
    const CallDetails& details() const { return m_details; }

protected:
    void done(int result) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Party = CallDetails::Party;
    struct PartyControls
    {
        QGroupBox* frame = nullptr;
        QLabel* number = nullptr;
        QLabel* name = nullptr;
        QLabel* extra = nullptr;
        QLabel* picture = nullptr;
        QPushButton* lookup = nullptr;
        QPushButton* call = nullptr;
        QPushButton* addContact = nullptr;
        QTimer* openTimer = nullptr;
        PartyContacts::Contact contact;
        bool placeholder = false; // the picture drawn in the theme's colours
    };

    QGroupBox* buildParty(Party party);
    PartyControls& controls(Party party) { return party == Party::Caller ? m_caller : m_called; }
    void showCall();
    void showParty(Party party);
    void showPicture(Party party, const QString& file);
    void lookupAgain(Party party);
    void changeNumber(Party party);
    void dial(Party party);
    void openContact(Party party);
    void addContact(Party party);

    Program& m_program;
    CallDetails m_details;
    PartyContacts m_contacts;
    PartyControls m_caller;
    PartyControls m_called;
    QLabel* m_lblDirection;
    QLabel* m_lblDate;
    QLabel* m_lblDuration;
    QLabel* m_lblDevice;
    // Pictures read out of the contact database for this window.
    QStringList m_temporaryFiles;
};

// Opens the details of a stored call (by its CallID) in a window of its own
// that deletes itself when closed; null when the call cannot be read.
CallDetailsWindow* openCallDetails(Program& program, qint32 dbCallId, QWidget* parent);
