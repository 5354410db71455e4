#include "FrmMSN.h"

#include "loc/LocGuru.h"
#include "server/msn/CMSN.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

FrmMSN::FrmMSN(LocGuru& loc, QWidget* parent) : QDialog(parent), m_loc(loc)
{
    setObjectName(QStringLiteral("frmMSN"));
    setWindowTitle(m_loc.GetS(QStringLiteral("Edit MSN")));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    const auto text = [&](const char* name) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->installEventFilter(this);
        return edit;
    };
    m_txtName = text("txtName");
    m_txtMSN = text("txtMSN");
    m_txtClients = text("txtClients");
    form->addRow(m_loc.GetS(QStringLiteral("Name")), m_txtName);
    form->addRow(m_loc.GetS(QStringLiteral("MSN")), m_txtMSN);
    m_lblClients = new QLabel(m_loc.GetS(QStringLiteral("Clients")), this);
    m_lblClients->setObjectName(QStringLiteral("lblClients"));
    form->addRow(m_lblClients, m_txtClients);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (checkName()) {
            checkMSN();
            checkClients();
            accept();
        }
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setFont(QFont(QStringLiteral("Tahoma"), font().pointSize()));
}

void FrmMSN::load(const CMSN& entry, bool showClients)
{
    m_txtName->setText(entry.Name);
    m_txtMSN->setText(entry.MSN);
    m_txtClients->setText(entry.Clients);
    m_txtClients->setVisible(showClients);
    m_lblClients->setVisible(showClients);
}

void FrmMSN::apply(CMSN& entry) const
{
    entry.Name = m_txtName->text();
    entry.MSN = m_txtMSN->text();
    entry.Clients = m_txtClients->text();
}

bool FrmMSN::EditMSN(CMSN& entry, bool showClients)
{
    load(entry, showClients);
    if (exec() != QDialog::Accepted)
        return false;
    apply(entry);
    return true;
}

bool FrmMSN::checkName()
{
    m_txtName->setText(m_txtName->text().trimmed());
    if (!m_txtName->text().isEmpty())
        return true;
    QMessageBox::information(this, windowTitle(), m_loc.GetS(QStringLiteral("Name of MSN may not be empty")));
    QTimer::singleShot(0, m_txtName, [edit = m_txtName] { edit->setFocus(); });
    return false;
}

void FrmMSN::checkMSN()
{
    m_txtMSN->setText(m_txtMSN->text().trimmed());
    if (m_txtMSN->text().isEmpty())
        m_txtMSN->setText(QStringLiteral("*"));
}

void FrmMSN::checkClients()
{
    m_txtClients->setText(m_txtClients->text().trimmed());
    if (m_txtClients->text().isEmpty())
        m_txtClients->setText(QStringLiteral("*"));
}

bool FrmMSN::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        if (watched == m_txtName && isVisible())
            checkName();
        else if (watched == m_txtMSN)
            checkMSN();
        else if (watched == m_txtClients)
            checkClients();
    }
    return QDialog::eventFilter(watched, event);
}
