#pragma once

#include "core/calls/CallPopup.h"

#include <QDateTime>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

#include <array>
#include <functional>

class AddressBookService;
class CallPopupWindows;
class ContactManagerLauncher;
class FormControlPos;
class MainForm;
class PopupFader;
class QLabel;
class QMenu;
class QWidget;

// What a popup needs of the rest of the program. The services that loading
// makes later are asked for when they are used.
struct CallPopupContext
{
    MainForm* form = nullptr;
    std::function<AddressBookService*()> addressBook;
    std::function<ContactManagerLauncher*()> contactManager;
    // A connection plug-in took contact editing over (the main window's
    // contact editor is marked): the caller's data is then not clickable.
    std::function<bool()> contactEditingTakenOver;
};

// The caller popup frmCall: one small always-on-top window per call with the
// caller's number, name, extra text and picture, the called own number in its
// title, up to nine action captions and the auto-hide countdown. It never takes
// the focus; clicking the caller's data opens or creates the contact.
class CallPopupWindow : public CallPopup
{
    Q_OBJECT
public:
    static constexpr int kActionCount = 9;

    CallPopupWindow(const CallPopupContext& context, CallPopupWindows* stack = nullptr);
    ~CallPopupWindow() override;

    void ShowCall(const QString& callerNumber, const QString& calledNumber,
                  const QString& firstName, const QString& lastName, const QString& extra,
                  const QString& picturePath, const QString& actionLinks, const QVariant& contact,
                  const QString& callerGUID) override;
    void unload() override;

    QWidget* window() const { return m_window; }
    // mnuRestore: the default size in the bottom-right corner of the work area.
    void PlaceDefault();
    // The texts that are not the caller's data, in the current language.
    void retranslate();
    // Whether clicking the caller's data opens or creates a contact.
    bool clickable() const { return m_clickable; }
    // Clicking the caller's data: the contact in the active contact source.
    void openContact();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Builds and lays out the window once, before or at its call.
    void prepare();
    void build();
    void design();
    void LayoutActions();
    void layoutScaled();
    void setPicture(QLabel* label, const QPixmap& picture);
    QPixmap loadPicture(const QString& pathToPic);
    QString title() const;
    void setHover(bool captionsHot, QLabel* action);
    void tick();
    void stopCountdown();
    void finishUnload();
    void runContactManager(const QStringList& arguments);
    void logLine(const QString& text) const;
    QString GetS(const QString& text, const QString& p1 = QString()) const;
    int twipsX(int twips) const;
    int twipsY(int twips) const;

    CallPopupContext m_ctx;
    QPointer<CallPopupWindows> m_stack;
    QPointer<QWidget> m_window;
    QLabel* m_imgBackground = nullptr;
    QLabel* m_image1 = nullptr;
    QLabel* m_imgUser = nullptr;
    QLabel* m_lblCallerNumber = nullptr;
    QLabel* m_lblCallerName = nullptr;
    QLabel* m_lblExtrainfo = nullptr;
    QLabel* m_lblCountDown = nullptr;
    std::array<QLabel*, kActionCount> m_lblAction{};
    QMenu* m_mnuPop = nullptr;
    QTimer m_tmrClose;
    FormControlPos* m_resizer = nullptr;
    PopupFader* m_fader = nullptr;

    QString m_calledNumber;
    QString m_number;
    QString m_name;
    QString m_extra;
    QPixmap m_userPicture;
    bool m_placeholderPicture = false; // drawn in the theme's colours
    QPixmap m_background;
    QVariant m_contact;
    QString m_contactKey;
    bool m_hasContact = false;
    bool m_clickable = false;
    bool m_unloading = false;
    bool m_waitingForManager = false;
    int m_countdown = 0;
    QDateTime m_countdownStart;
    // Where the popup would have been had no other popup been in the way.
    QPoint m_wantedPos;
    QPoint m_stackedPos;

    friend class CallPopupWindows;
};

// The desktop program's popups: makes one per call and keeps the open ones
// from covering each other, stacking them upwards from the work area's
// bottom-right corner.
class CallPopupWindows : public QObject, public CallPopupFactory
{
    Q_OBJECT
public:
    explicit CallPopupWindows(CallPopupContext context, QObject* parent = nullptr);
    ~CallPopupWindows() override;

    CallPopup* createPopup() override;
    // Builds a popup ahead of the next call, and again after each call.
    void prepareSpare();
    static constexpr int kSpareAfterMs = 2000;
    QList<CallPopupWindow*> openPopups() const;
    void retranslate();
    // A new popup's frame position: `wanted`, or above the open popups that
    // frame would cover, as long as it stays on the work area.
    QPoint freePosition(const CallPopupWindow* popup, const QRect& frame,
                        const QRect& workArea) const;

private:
    CallPopupContext m_ctx;
    QList<QPointer<CallPopupWindow>> m_popups;
    QPointer<CallPopupWindow> m_spare; // built, never shown
    bool m_keepSpare = false;
};
