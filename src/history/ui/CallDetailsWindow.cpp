#include "CallDetailsWindow.h"

#include "core/controller/MainForm.h"
#include "loc/ui/FormTranslator.h"
#include "shell/dialling/ui/FrmStartCall.h"
#include "shell/settings/FormPosition.h"
#include "shell/startup/Program.h"
#include "shell/ui/WidgetFormWindow.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QImageReader>
#include <QInputDialog>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kPictureSize = 96;

QLabel* namedLabel(const QString& name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

QPushButton* namedButton(const QString& name, const QString& caption, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    return button;
}

// A neutral silhouette in the theme's colours, for a party without a picture:
// text colour, half see-through, on the ground of an entry field, which
// stands out in light and dark themes alike.
QPixmap defaultPicture(const QPalette& palette, qreal dpr)
{
    QPixmap pixmap(QSize(kPictureSize, kPictureSize) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(palette.color(QPalette::Base));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    QColor figure = palette.color(QPalette::Text);
    figure.setAlphaF(0.45f);
    p.setBrush(figure);
    const qreal s = kPictureSize;
    p.drawEllipse(QPointF(s / 2, s * 0.36), s * 0.18, s * 0.18);
    p.drawEllipse(QPointF(s / 2, s * 0.98), s * 0.36, s * 0.36);
    return pixmap;
}

} // namespace

CallDetailsWindow* openCallDetails(Program& program, qint32 dbCallId, QWidget* parent)
{
    auto* window = new CallDetailsWindow(program, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!window->ShowWithCall(dbCallId)) {
        window->deleteLater();
        return nullptr;
    }
    return window;
}

CallDetailsWindow::CallDetailsWindow(Program& program, QWidget* parent)
    : QDialog(parent), m_program(program), m_details(program.mainForm(), program.callDatabase()),
      m_contacts(program.mainForm(), program.addressBook(), program.contactManager())
{
    setObjectName(QStringLiteral("frmCallDetails"));
    setWindowTitle(QStringLiteral("Call details"));
    auto* layout = new QVBoxLayout(this);
    auto* summary = new QGridLayout;
    m_lblDirection = namedLabel(QStringLiteral("lblDirection"), this);
    m_lblDate = namedLabel(QStringLiteral("lblDate"), this);
    m_lblDuration = namedLabel(QStringLiteral("lblDuration"), this);
    m_lblDevice = namedLabel(QStringLiteral("lblDevice"), this);
    QFont bold = m_lblDirection->font();
    bold.setBold(true);
    m_lblDirection->setFont(bold);
    summary->addWidget(m_lblDirection, 0, 0);
    summary->addWidget(m_lblDate, 0, 1);
    summary->addWidget(m_lblDuration, 1, 0);
    summary->addWidget(m_lblDevice, 1, 1);
    layout->addLayout(summary);
    auto* parties = new QHBoxLayout;
    parties->addWidget(buildParty(Party::Caller));
    parties->addWidget(buildParty(Party::Called));
    layout->addLayout(parties, 1);

    auto* buttons = new QDialogButtonBox(this);
    auto* btnOk = namedButton(QStringLiteral("btnOk"), QStringLiteral("&OK"), this);
    auto* btnCancel = namedButton(QStringLiteral("btnCancel"), QStringLiteral("&Cancel"), this);
    btnOk->setDefault(true);
    buttons->addButton(btnOk, QDialogButtonBox::AcceptRole);
    buttons->addButton(btnCancel, QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(btnOk, &QPushButton::clicked, this, [this] {
        if (!m_details.save())
            return; // the store has reported why; the edits stay on screen
        accept();
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    FormTranslator::TranslateForm(this, program.loc());
    WidgetFormWindow window(this);
    FormPosition::RestoreFormPos(program.settings(), window, QString::fromLatin1(kSettingsKey),
                                 false);
}

QGroupBox* CallDetailsWindow::buildParty(Party party)
{
    const bool caller = party == Party::Caller;
    const QString side = caller ? QStringLiteral("Caller") : QStringLiteral("Called");
    PartyControls& c = controls(party);
    c.frame =
        new QGroupBox(caller ? QStringLiteral("Caller") : QStringLiteral("Called party"), this);
    c.frame->setObjectName(QStringLiteral("fra") + side);
    auto* grid = new QGridLayout(c.frame);
    c.picture = new QLabel(c.frame);
    c.picture->setObjectName(caller ? QStringLiteral("imgCaller")
                                    : QStringLiteral("imgCalledUser"));
    c.picture->setFixedSize(kPictureSize, kPictureSize);
    c.picture->setAlignment(Qt::AlignCenter);
    c.number = namedLabel(QStringLiteral("lbl%1Number").arg(side), c.frame);
    c.number->setToolTip(QStringLiteral("Double-click to change the number"));
    c.name = namedLabel(QStringLiteral("lbl%1Name").arg(side), c.frame);
    c.extra = namedLabel(QStringLiteral("lbl%1Extrainfo").arg(side), c.frame);
    grid->addWidget(c.picture, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(c.number, 0, 1);
    grid->addWidget(c.name, 1, 1);
    grid->addWidget(c.extra, 2, 1);
    auto* row = new QHBoxLayout;
    c.lookup = namedButton(caller ? QStringLiteral("btnLookupCallerName")
                                  : QStringLiteral("btnLookupCalled"),
                           QStringLiteral("&Look up"), c.frame);
    c.call = namedButton(QStringLiteral("btnCall") + side, QStringLiteral("&Dial"), c.frame);
    c.addContact = namedButton(QStringLiteral("btnAddNew%1Contact").arg(side),
                               QStringLiteral("&New contact"), c.frame);
    row->addWidget(c.lookup);
    row->addWidget(c.call);
    row->addWidget(c.addContact);
    row->addStretch(1);
    grid->addLayout(row, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(4, 1);
    c.openTimer = new QTimer(this);
    c.openTimer->setObjectName(QStringLiteral("tmrOpen") + side);
    c.openTimer->setSingleShot(true);
    c.openTimer->setInterval(0);
    connect(c.openTimer, &QTimer::timeout, this, [this, party] { openContact(party); });
    connect(c.lookup, &QPushButton::clicked, this, [this, party] { lookupAgain(party); });
    connect(c.call, &QPushButton::clicked, this, [this, party] { dial(party); });
    connect(c.addContact, &QPushButton::clicked, this, [this, party] { addContact(party); });
    for (QLabel* label : {c.picture, c.number, c.name, c.extra})
        label->installEventFilter(this);
    return c.frame;
}

bool CallDetailsWindow::ShowWithCall(qint32 dbCallId)
{
    MainForm& form = m_program.mainForm();
    bool loaded = false;
    trapErrors(form.errors(), QStringLiteral("ShowWithCall"),
               [&] { loaded = m_details.load(dbCallId); });
    if (!loaded) {
        form.RaiseError(form.GetS(QStringLiteral("The call %s was not found in the call history"),
                                  QString::number(dbCallId)));
        return false;
    }
    showCall();
    show();
    raise();
    activateWindow();
    return true;
}

void CallDetailsWindow::showCall()
{
    m_lblDirection->setText(m_details.directionText());
    m_lblDate->setText(m_details.dateText());
    m_lblDuration->setText(m_details.durationText());
    m_lblDevice->setText(m_details.deviceText());
    showParty(Party::Caller);
    showParty(Party::Called);
}

void CallDetailsWindow::showParty(Party party)
{
    PartyControls& c = controls(party);
    c.number->setText(m_details.numberText(party));
    c.name->setText(m_details.nameText(party));
    c.extra->setText(m_details.extra(party));
    c.call->setVisible(!m_details.number(party).isEmpty());
    // A party with a contact has it opened instead; a GUID that no longer
    // resolves gets neither (the contact may still exist elsewhere).
    c.contact = m_contacts.find(m_details.guid(party));
    if (m_contacts.source() == PartyContacts::Database && !c.contact.picture.isEmpty())
        m_temporaryFiles << c.contact.picture;
    c.addContact->setVisible(m_contacts.canCreate() && m_details.guid(party).isEmpty());
    for (QLabel* label : {c.picture, c.number, c.name, c.extra}) {
        QFont font = label->font();
        font.setUnderline(c.contact.found && label != c.picture);
        label->setFont(font);
        label->setCursor(c.contact.found ? Qt::PointingHandCursor : Qt::ArrowCursor);
        label->setForegroundRole(c.contact.found ? QPalette::Link : QPalette::WindowText);
    }
    showPicture(party, c.contact.picture);
}

void CallDetailsWindow::showPicture(Party party, const QString& file)
{
    QLabel* picture = controls(party).picture;
    QImageReader reader(file);
    reader.setAutoTransform(true);
    QImage image = file.isEmpty() ? QImage() : reader.read();
    if (image.isNull() && !file.isEmpty())
        m_program.mainForm().LogStr(m_program.mainForm().GetS(
            QStringLiteral("Picture %s not shown: %s"), file, reader.errorString()));
    const qreal dpr = devicePixelRatioF();
    QPixmap pixmap;
    if (!image.isNull()) {
        pixmap = QPixmap::fromImage(image.scaled(QSize(kPictureSize, kPictureSize) * dpr,
                                                 Qt::KeepAspectRatio, Qt::SmoothTransformation));
        pixmap.setDevicePixelRatio(dpr);
    } else {
        pixmap = defaultPicture(palette(), dpr);
    }
    controls(party).placeholder = image.isNull();
    picture->setPixmap(pixmap);
}

void CallDetailsWindow::changeEvent(QEvent* event)
{
    // The desktop switched between a light and a dark theme.
    if (event->type() == QEvent::PaletteChange)
        for (Party party : {Party::Caller, Party::Called})
            if (controls(party).placeholder)
                controls(party).picture->setPixmap(defaultPicture(palette(), devicePixelRatioF()));
    QDialog::changeEvent(event);
}

bool CallDetailsWindow::eventFilter(QObject* watched, QEvent* event)
{
    for (Party party : {Party::Caller, Party::Called}) {
        PartyControls& c = controls(party);
        if (watched == c.number && event->type() == QEvent::MouseButtonDblClick) {
            c.openTimer->stop(); // the first click of the double click
            changeNumber(party);
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease && c.contact.found &&
            (watched == c.picture || watched == c.number || watched == c.name ||
             watched == c.extra)) {
            // Later, so a double click on the number can still cancel it.
            c.openTimer->start(watched == c.number ? QApplication::doubleClickInterval() : 0);
            return false;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CallDetailsWindow::lookupAgain(Party party)
{
    MainForm& form = m_program.mainForm();
    PartyControls& c = controls(party);
    c.name->clear();
    c.extra->clear();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    trapErrors(form.errors(), QStringLiteral("btnLookup"), [&] {
        QString picture;
        if (m_details.lookupAgain(party, &picture)) {
            showParty(party);
            if (!c.contact.found && !picture.isEmpty())
                showPicture(party, picture);
        } else {
            showParty(party);
        }
    });
    QApplication::restoreOverrideCursor();
}

void CallDetailsWindow::changeNumber(Party party)
{
    MainForm& form = m_program.mainForm();
    bool ok = false;
    const QString answer = QInputDialog::getText(this, form.GetS(QStringLiteral("New number")),
                                                 form.GetS(QStringLiteral("Change the number")),
                                                 QLineEdit::Normal, m_details.number(party), &ok);
    if (ok && m_details.changeNumber(party, answer))
        showParty(party);
}

void CallDetailsWindow::dial(Party party)
{
    MainForm& form = m_program.mainForm();
    if (!form.Active()) {
        form.RaiseError(
            form.GetS(QStringLiteral("Please start Phonavo serivces first from the main window.")));
        return;
    }
    FrmStartCall::StartCall(form, m_details.number(party), this);
}

void CallDetailsWindow::openContact(Party party)
{
    trapErrors(m_program.mainForm().errors(), QStringLiteral("tmrOpen"), [&] {
        QPointer<CallDetailsWindow> self(this);
        m_contacts.open(controls(party).contact, [self] {
            // Edits made in the contact manager show at once.
            if (self)
                self->showCall();
        });
    });
}

void CallDetailsWindow::addContact(Party party)
{
    trapErrors(m_program.mainForm().errors(), QStringLiteral("btnAddNewContact"), [&] {
        QPointer<CallDetailsWindow> self(this);
        m_contacts.create(party == Party::Caller, m_details.number(party), m_details.name(party),
                          m_details.extra(party), [self, party](const QString& guid) {
                              if (!self)
                                  return;
                              self->m_details.linkContact(party, guid);
                              self->showCall();
                          });
    });
}

CallDetailsWindow::~CallDetailsWindow()
{
    for (const QString& file : std::as_const(m_temporaryFiles))
        QFile::remove(file);
}

void CallDetailsWindow::done(int result)
{
    WidgetFormWindow window(this);
    FormPosition::SaveFormPos(m_program.settings(), window, QString::fromLatin1(kSettingsKey));
    QDialog::done(result);
}
